#pragma once
// A glog sink that sends each message to ZelLogConsole as one line, in glog's own format.
//
//     #include "zel_glog_sink.h"
//     static zel::GlogSink sink("127.0.0.1", 11925);
//     google::AddLogSink(&sink);   // and google::RemoveLogSink(&sink) before it goes
//
// send runs with glog's own locks held, so it must never log: it only queues (zel::LogClient).
#include <atomic>
#include <chrono>
#include <string>

#include <glog/logging.h>

#include "zel_log_client.h"

namespace zel {

class GlogSink : public google::LogSink {
public:
    explicit GlogSink(std::string host = "127.0.0.1", uint16_t port = 11925, LogClientOptions options = {})
        : m_client(std::move(host), port, options)
    {
    }

    void send(google::LogSeverity severity, const char* /*full_filename*/, const char* base_filename, int line,
              const google::LogMessageTime& time, const char* message, size_t message_len) override
    {
        m_client.Send(ToString(severity, base_filename, line, time, message, message_len) + "\r\n");
        if (severity == google::GLOG_FATAL)
            m_fatal = true;
    }

    // glog calls this after each send; only a fatal message, after which the program ends,
    // is worth waiting for.
    void WaitTillSent() override
    {
        if (m_fatal)
            m_client.Flush(m_client.Options().closeFlush);
    }

    LogClient& client() { return m_client; }

private:
    LogClient m_client;
    std::atomic<bool> m_fatal{false}; // glog may call send from several threads at once
};

} // namespace zel
