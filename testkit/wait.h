#pragma once
// Waiting in tests for something that happens elsewhere (another process, another thread, the
// message loop). The limit only keeps a broken build from hanging the suite.
#include <windows.h>

#include <functional>

// Checks `done` until it holds or `limitMs` passes, running `between` after each miss (by
// default a 10 ms sleep). True when it held.
inline bool WaitUntil(
    const std::function<bool()>& done, DWORD limitMs, const std::function<void()>& between = [] { ::Sleep(10); })
{
    const ULONGLONG until = ::GetTickCount64() + limitMs;
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount64() > until)
            return false;
        between();
    }
}

// Time left until a point set at its making, for waits that share one limit.
class Deadline {
public:
    explicit Deadline(DWORD limitMs) : m_until(::GetTickCount64() + limitMs) {}
    DWORD Left() const
    {
        const ULONGLONG now = ::GetTickCount64();
        return now < m_until ? static_cast<DWORD>(m_until - now) : 0;
    }

private:
    ULONGLONG m_until;
};
