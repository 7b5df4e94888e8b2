#pragma once
// The process-wide holder of the log view, through which connections, which hold no link to
// the window, reach it; and of the pipe that carries their text to it.
#include "log/log_pipe.h"
#include "platform/edit.h"

// Posted to the view's window when text starts waiting in the pipe.
constexpr UINT WM_ZEL_FLUSHLOG = WM_APP + 1;

class CLogRegistry {
public:
    // The one instance, created on first use and never destroyed.
    static CLogRegistry* GetInstance();

    CEdit* m_pLogEdit = nullptr; // not owned; set once by the console window
    CLogPipe m_pipe;

private:
    CLogRegistry() = default;
};
