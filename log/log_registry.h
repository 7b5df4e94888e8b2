#pragma once
// The process-wide pipe that carries the connections' text to the log view (connections hold no
// link to the window), and which console window is connected to it.
#include "log/log_pipe.h"
#include "platform/edit.h"

// Posted to the view's window when text starts waiting in the pipe.
constexpr UINT WM_ZEL_FLUSHLOG = WM_APP + 1;

class CLogRegistry {
public:
    // The one instance, created on first use and never destroyed.
    static CLogRegistry* GetInstance();

    CEdit* m_pLogEdit = nullptr; // the connected window's view, not owned; its window disconnects
    CLogPipe m_pipe;

private:
    CLogRegistry() = default;
};
