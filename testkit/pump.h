#pragma once
// Runs the thread's message loop in a test, as the console's modal loop would.
#include <windows.h>

#include <functional>

#include "testkit/wait.h"

// Handles whatever is queued now, including what those messages queue in turn.
inline void PumpQueued()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Pumps until a condition holds; false at the limit.
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 15000)
{
    PumpQueued();
    return WaitUntil(done, limitMs, [] {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpQueued();
    });
}

// Pumps for `settleMs`, so that whatever the messages set off has happened.
inline void PumpPending(DWORD settleMs = 100)
{
    WaitUntil([] { return false; }, settleMs,
              [] {
                  PumpQueued();
                  ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
              });
}
