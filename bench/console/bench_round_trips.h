#pragma once
// The window's round trip as the operator feels it: WM_NULL sent to the console's window, one
// at a time, 10 ms apart, each timed until the window's thread has taken it. Every flush step
// is one message, so a sample is what a step in progress costs.
#include <windows.h>

#include <mutex>

#include "bench_stats.h"
#include "testkit/background.h"

namespace zelbench {

class RoundTrips {
public:
    explicit RoundTrips(HWND window)
        : m_loop([this, window] {
              const double start = Now();
              DWORD_PTR answer = 0;
              ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
              const double ms = (Now() - start) * 1000;
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_interval.Add(ms);
              }
              ::Sleep(10);
              return true;
          })
    {
    }
    void Stop() { m_loop.Stop(); }
    // The samples since the last call.
    Samples TakeInterval()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Samples taken = m_interval;
        m_interval = Samples();
        return taken;
    }

private:
    std::mutex m_mutex;
    Samples m_interval;
    BackgroundLoop m_loop; // last: it stops before the samples go
};

} // namespace zelbench
