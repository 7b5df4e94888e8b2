#pragma once
// The process-wide holder of the log view, through which connections, which hold no link to
// the window, reach it. Also keeps the text that has arrived but is not yet in the view.
#include "log/pending_log.h"
#include "platform/edit.h"

// Posted to the view's window when text starts waiting in the pending log.
constexpr UINT WM_ZEL_FLUSHLOG = WM_APP + 1;

class CLogRegistry {
public:
    // The one instance, created on first use and never destroyed.
    static CLogRegistry* GetInstance();

    // Queues text for the view; the first text into an empty queue asks the view's window to flush.
    void QueueText(CString text);

    CEdit* m_pLogEdit = nullptr; // not owned; set once by the console window
    CPendingLog m_pending;

private:
    CLogRegistry() = default;
};
