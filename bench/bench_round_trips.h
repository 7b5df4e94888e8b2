#pragma once
// The window's round trip as the operator feels it: WM_NULL sent to the console's window, one
// at a time, 10 ms apart, each timed until the window's thread has taken it. Every flush step
// is one message, so a sample is what a step in progress costs.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "bench_stats.h"

namespace zelbench {

class RoundTrips {
public:
    explicit RoundTrips(HWND window)
        : m_thread([=] {
              while (!m_stop) {
                  const double start = Now();
                  DWORD_PTR answer = 0;
                  ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
                  const double ms = (Now() - start) * 1000;
                  {
                      std::lock_guard<std::mutex> lock(m_mutex);
                      m_interval.Add(ms);
                  }
                  ::Sleep(10);
              }
          })
    {
    }
    ~RoundTrips() { Stop(); }
    RoundTrips(const RoundTrips&) = delete;
    RoundTrips& operator=(const RoundTrips&) = delete;
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // The samples since the last call.
    Samples TakeInterval()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Samples taken = m_interval;
        m_interval = Samples();
        return taken;
    }

private:
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    Samples m_interval;
    std::thread m_thread;
};

} // namespace zelbench
