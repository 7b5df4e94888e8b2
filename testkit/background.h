#pragma once
// Work that a test or the bench keeps doing on a thread of its own while it does something else:
// `step` runs over and over until Stop(), or until it returns false.
#include <atomic>
#include <functional>
#include <thread>

class BackgroundLoop {
public:
    explicit BackgroundLoop(std::function<bool()> step)
        : m_thread([this, step = std::move(step)] {
              while (!m_stop && step()) {
              }
          })
    {
    }
    ~BackgroundLoop() { Stop(); }
    BackgroundLoop(const BackgroundLoop&) = delete;
    BackgroundLoop& operator=(const BackgroundLoop&) = delete;

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
