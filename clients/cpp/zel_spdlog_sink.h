#pragma once
// An spdlog sink that sends each formatted message to ZelLogConsole as one line.
//
//     #include "zel_spdlog_sink.h"
//     auto sink = std::make_shared<zel::spdlog_sink_mt>("127.0.0.1", 11925);
//     spdlog::logger logger("app", sink);
//
// Logging only queues (zel::LogClient); flush() waits for the queue to drain while connected.
#include <chrono>
#include <mutex>
#include <string>

#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>

#include "zel_log_client.h"

namespace zel {

template <typename Mutex>
class spdlog_sink : public spdlog::sinks::base_sink<Mutex> {
public:
    explicit spdlog_sink(std::string host = "127.0.0.1", uint16_t port = 11925, LogClientOptions options = {})
        : m_client(std::move(host), port, options)
    {
    }

    LogClient& client() { return m_client; }

protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        spdlog::memory_buf_t formatted;
        this->formatter_->format(msg, formatted);
        // spdlog's formatters end lines with LF, the default one and every one a pattern set later
        // makes; the console's view starts a line on CR LF only.
        const size_t n = formatted.size();
        if (n > 0 && formatted[n - 1] == '\n' && (n == 1 || formatted[n - 2] != '\r')) {
            formatted.resize(n - 1);
            formatted.append(std::string_view("\r\n"));
        }
        m_client.Send(std::string_view(formatted.data(), formatted.size()));
    }

    // With flush_on, every message may flush: a second at most, and only while connected.
    void flush_() override { m_client.FlushWhileConnected(); }

private:
    LogClient m_client;
};

using spdlog_sink_mt = spdlog_sink<std::mutex>;
using spdlog_sink_st = spdlog_sink<spdlog::details::null_mutex>;

} // namespace zel
