#pragma once
// Runs the thread's message loop in a test until a condition holds, as the console's modal
// loop would. The time limit only keeps a broken build from hanging the suite.
#include <windows.h>

#include <functional>

inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 15000)
{
    const ULONGLONG until = ::GetTickCount64() + limitMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount64() > until)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Handles whatever is queued now, including what those messages queue in turn.
inline void PumpPending(DWORD settleMs = 100)
{
    const ULONGLONG until = ::GetTickCount64() + settleMs;
    while (::GetTickCount64() < until) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
