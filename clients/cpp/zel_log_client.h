#pragma once
// zel::LogClient: sends log lines to ZelLogConsole (TCP port 11925) from any C++17 program.
//
//     #include "zel_log_client.h"
//     zel::LogClient client("127.0.0.1", 11925);
//     client.Send("build started\r\n");
//
// Send only queues the line and returns. One background thread connects, sends and reconnects
// with back-off, so the console may start after the program, or restart, unnoticed. The queue is
// bounded: when it is full the oldest lines go, and their count follows as a line of its own.
// Lines that never reach the console are also reported once on stderr, with the console's host
// and port: by a Flush that runs out of time, and by the destructor. The host may be a name, an
// IPv4 address or an IPv6 address, bare ("::1") or bracketed ("[::1]").
// This client keeps the contract that the Python and .NET clients keep (docs/protocol.md).
// Link ws2_32 on Windows; elsewhere only the C library's sockets and threads are used.
//
// A frame is a signed 32-bit little-endian length and that many bytes of UTF-8 (docs/protocol.md).
// The console adds no line breaks: end each text with CR LF to see it as a line.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#ifdef _MSC_VER
#pragma comment(lib, "ws2_32")
#endif
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace zel {

struct LogClientOptions {
    // Bytes of frames waiting to be sent; past it the oldest lines are dropped and counted.
    size_t queueBytes = 8 * 1024 * 1024;
    // The wait before the first reconnect; it doubles after each failure, up to retryMax.
    std::chrono::milliseconds retryStart{100};
    std::chrono::milliseconds retryMax{2000};
    // How long the destructor waits for the queue to drain, reconnecting as needed. Stopping may
    // then take longer: a connect in progress is given up to 2 s for each address of the host.
    std::chrono::milliseconds closeFlush{1000};
};

namespace detail {

// The console closes the connection on any larger frame.
constexpr size_t kMaxPayload = 16 * 1024 * 1024;

// The host as the resolver takes it: an IPv6 address without its brackets.
inline std::string LookupName(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

// "host:port" as reports name it, an IPv6 address in brackets.
inline std::string Where(const std::string& host, uint16_t port)
{
    const std::string name = LookupName(host);
    return (name.find(':') != std::string::npos ? "[" + name + "]" : name) + ":" + std::to_string(port);
}

// The line that stands for lines dropped from a full queue, the same in every client but for
// the client's name.
inline std::string DroppedLine(uint64_t n)
{
    return "[zel::LogClient: " + std::to_string(n) + (n == 1 ? " line" : " lines") +
           " dropped, the queue was full]\r\n";
}

// Appends one frame to `out`. Text past the console's limit is cut at a character boundary and
// says so, since a frame it refuses would take the whole connection with it.
inline void AppendFrame(std::string& out, std::string_view text)
{
    std::string marker;
    if (text.size() > kMaxPayload) {
        marker = " [cut: " + std::to_string(text.size()) + " bytes in all]\r\n";
        size_t keep = kMaxPayload - marker.size();
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
            --keep; // never split a UTF-8 sequence: the console shows nothing of an invalid frame
        text = text.substr(0, keep);
    }
    const uint32_t n = static_cast<uint32_t>(text.size() + marker.size());
    const char length[4] = {char(n & 0xFF), char(n >> 8 & 0xFF), char(n >> 16 & 0xFF), char(n >> 24 & 0xFF)};
    out.append(length, 4).append(text).append(marker);
}

// The whole size of the frame that starts at `at`, length included.
inline size_t FrameSizeAt(const std::string& frames, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(frames.data() + at);
    return 4 + (size_t(p[0]) | size_t(p[1]) << 8 | size_t(p[2]) << 16 | size_t(p[3]) << 24);
}

#ifdef _WIN32
using NativeSocket = SOCKET;
constexpr NativeSocket kNoSocket = INVALID_SOCKET;
inline void CloseNative(NativeSocket s)
{
    ::closesocket(s);
}
inline bool WouldBlock()
{
    return ::WSAGetLastError() == WSAEWOULDBLOCK;
}
constexpr int kSendFlags = 0;
#else
using NativeSocket = int;
constexpr NativeSocket kNoSocket = -1;
inline void CloseNative(NativeSocket s)
{
    ::close(s);
}
inline bool WouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL; // a console that went away is an error, not a signal
#else
constexpr int kSendFlags = 0;
#endif
#endif

// Starts Winsock for as long as the client lives; POSIX sockets need no start.
class SocketLibrary {
public:
#ifdef _WIN32
    SocketLibrary()
    {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~SocketLibrary()
    {
        if (m_started)
            ::WSACleanup();
    }

private:
    bool m_started = false;
#else
    ~SocketLibrary()
    {
    } // user-provided, so that an unused instance draws no warning
#endif
};

// Waits up to `ms` until the socket can be read, or written; false at the limit or on failure
// (a failed connect shows as an exception on Winsock, as an error on POSIX).
inline bool Wait(NativeSocket s, bool write, int ms)
{
#ifdef _WIN32
    fd_set ready, fail;
    FD_ZERO(&ready);
    FD_ZERO(&fail);
    FD_SET(s, &ready);
    FD_SET(s, &fail);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, write ? nullptr : &ready, write ? &ready : nullptr, &fail, &limit) > 0 && FD_ISSET(s, &ready) &&
           !(write && FD_ISSET(s, &fail));
#else
    pollfd p{s, short(write ? POLLOUT : POLLIN), 0};
    return ::poll(&p, 1, ms) > 0 && (p.revents & (write ? POLLOUT : POLLIN)) && !(write && (p.revents & POLLERR));
#endif
}

// True when the console has closed its end or the connection failed. The console never sends
// anything, so anything to read means the end: lines written into a closed connection would be
// lost without a word, so this is asked before each write.
inline bool PeerGone(NativeSocket s)
{
    if (!Wait(s, false, 0))
        return false;
    char byte;
    const auto n = ::recv(s, &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && !WouldBlock());
}

inline bool SetNonBlocking(NativeSocket s)
{
#ifdef _WIN32
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
#else
    const int flags = ::fcntl(s, F_GETFL, 0);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
#endif
}

// A TCP socket, non-blocking once connected; closes on destruction; neither copied nor moved.
class Connection {
public:
    Connection() = default;
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Open() const { return m_socket != kNoSocket; }
    NativeSocket Handle() const { return m_socket; }
    void Close()
    {
        if (m_socket != kNoSocket)
            CloseNative(m_socket);
        m_socket = kNoSocket;
    }

    // Tries each address of the host, giving each connect up to `limitMs`.
    bool Connect(const std::string& host, uint16_t port, int limitMs)
    {
        Close();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        if (::getaddrinfo(LookupName(host).c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
            return false;
        for (addrinfo* a = found; a && !Open(); a = a->ai_next)
            TryAddress(*a, limitMs);
        ::freeaddrinfo(found);
        return Open();
    }

private:
    void TryAddress(const addrinfo& a, int limitMs)
    {
        m_socket = ::socket(a.ai_family, a.ai_socktype, a.ai_protocol);
        if (m_socket == kNoSocket)
            return;
        // Lines go out as they come: the console shows each as soon as it arrives.
        int noDelay = 1;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (!SetNonBlocking(m_socket)) {
            Close();
            return;
        }
        if (::connect(m_socket, a.ai_addr, static_cast<int>(a.ai_addrlen)) == 0)
            return;
        int error = 0;
        socklen_t size = sizeof error;
#ifdef _WIN32
        const bool pending = WouldBlock();
#else
        const bool pending = errno == EINPROGRESS;
#endif
        if (!pending || !Wait(m_socket, true, limitMs) ||
            ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0)
            Close();
    }
    NativeSocket m_socket = kNoSocket;
};

} // namespace detail

class LogClient {
public:
    explicit LogClient(std::string host, uint16_t port = 11925, LogClientOptions options = {})
        : m_host(std::move(host)), m_port(port), m_options(options), m_thread([this] { Run(); })
    {
    }
    // Gives the queue a short while to drain, then stops: a program's last lines usually matter.
    // A short program never makes the later connection that would carry the count of lost
    // lines, so whatever was not delivered is told on stderr here, once the sender has stopped.
    ~LogClient()
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_drained.wait_for(lock, m_options.closeFlush, [this] { return Empty(); });
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        ReportUndelivered();
    }
    LogClient(const LogClient&) = delete;
    LogClient& operator=(const LogClient&) = delete;

    // Queues one frame and returns at once. Never blocks on the network.
    void Send(std::string_view text)
    {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            detail::AppendFrame(m_pending, text);
            ++m_nextLine;
            ++m_queuedLines;
            DropOldestPastLimit();
            wake = m_senderIdle;
            m_senderIdle = false;
        }
        if (wake)
            m_wake.notify_one(); // only an idle sender needs the system call
    }

    // Waits until every queued line has been handed to the connection; false at the limit,
    // after telling stderr how many lines are still undelivered.
    bool Flush(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_drained.wait_for(lock, limit, [this] { return Empty(); }))
            return true;
        ReportUndelivered();
        return false;
    }

    // True while the sender holds an open connection to the console.
    bool Connected() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_connected;
    }

    // The options the client was made with.
    const LogClientOptions& Options() const { return m_options; }

    // Lines dropped so far because the queue was full.
    uint64_t DroppedLines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_droppedTotal;
    }

    // Lines not yet handed to the connection: queued, or in the batch not yet wholly sent.
    uint64_t WaitingLines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_queuedLines + (m_batchLines > m_batchSent ? m_batchLines - m_batchSent : 0);
    }

private:
    bool Empty() const { return m_head == m_pending.size() && !m_sending && m_dropped == 0; }

    // The newest line always stays, even when it alone is larger than the queue.
    void DropOldestPastLimit()
    {
        while (m_pending.size() - m_head > m_options.queueBytes) {
            const size_t next = m_head + detail::FrameSizeAt(m_pending, m_head);
            if (next >= m_pending.size())
                break;
            if (m_nextLine - m_queuedLines >= m_reportedBelow)
                ++m_lostUnreported;
            --m_queuedLines;
            m_head = next;
            ++m_dropped;
            ++m_droppedTotal;
        }
        // Dropped bytes are moved out only now and then, so a full queue costs little per line.
        if (m_head > m_options.queueBytes / 2 + 4096) {
            m_pending.erase(0, m_head);
            m_head = 0;
        }
    }

    // Takes everything queued, led by the count of lines dropped since the last batch.
    void TakeBatch(std::string& batch)
    {
        batch.clear();
        m_batchFirst = m_nextLine - m_queuedLines;
        m_batchLines = m_queuedLines;
        m_batchSent = 0;
        m_batchCounted = m_dropped > 0;
        m_queuedLines = 0;
        if (m_dropped > 0) {
            detail::AppendFrame(batch, detail::DroppedLine(m_dropped));
            m_dropped = 0;
        }
        if (batch.empty() && m_head == 0) {
            batch.swap(m_pending);
        } else {
            batch.append(m_pending, m_head, std::string::npos);
            m_pending.clear();
        }
        m_head = 0;
    }

    void Run()
    {
        detail::SocketLibrary library;
        detail::Connection connection;
        std::string batch;
        std::chrono::milliseconds retry = m_options.retryStart;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_sending = false;
                if (Empty())
                    m_drained.notify_all();
                m_senderIdle = true;
                m_wake.wait(lock, [this] { return m_stopping || m_head < m_pending.size() || m_dropped > 0; });
                if (m_stopping)
                    return;
                m_senderIdle = false;
                m_sending = true;
                TakeBatch(batch);
            }
            if (SendBatch(connection, batch, retry)) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_batchLines = m_batchSent = 0;
            }
        }
    }

    // Sends the batch whole, reconnecting as often as needed; a frame cut off by a failure is
    // sent again from its start, since the console drops the part it had. False when stopping
    // first.
    bool SendBatch(detail::Connection& connection, const std::string& batch, std::chrono::milliseconds& retry)
    {
        size_t sent = 0, frameStart = 0, frameEnd = 0, framesDone = 0;
        while (sent < batch.size()) {
            if (!connection.Open() && !Reconnect(connection, retry))
                return false;
            size_t framesBefore = framesDone;
            while (frameEnd <= sent) {
                frameStart = frameEnd;
                frameEnd += detail::FrameSizeAt(batch, frameEnd);
                framesDone += frameStart > 0;
            }
            if (framesDone != framesBefore)
                CountSent(framesDone);
            if (detail::PeerGone(connection.Handle())) {
                Disconnect(connection);
                sent = frameStart;
                continue;
            }
            const size_t chunk = std::min<size_t>(batch.size() - sent, 1 << 20);
            const auto n =
                ::send(connection.Handle(), batch.data() + sent, static_cast<int>(chunk), detail::kSendFlags);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                retry = m_options.retryStart;
            } else if (n < 0 && detail::WouldBlock()) {
                detail::Wait(connection.Handle(), true, 100); // a console that reads slowly is waited for
                if (Stopping())
                    return false;
            } else {
                Disconnect(connection);
                sent = frameStart;
            }
        }
        return true;
    }

    // False when the client is stopping; otherwise waits out the back-off between attempts.
    bool Reconnect(detail::Connection& connection, std::chrono::milliseconds& retry)
    {
        while (!connection.Connect(m_host, m_port, 2000)) {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_for(lock, retry, [this] { return m_stopping; }))
                return false;
            retry = std::min(retry * 2, m_options.retryMax);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = true;
        return true;
    }

    void Disconnect(detail::Connection& connection)
    {
        connection.Close();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = false;
    }

    // Lines of the batch in flight that are wholly sent: what a report must no longer count.
    void CountSent(size_t framesDone)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_batchSent = framesDone - (m_batchCounted && framesDone > 0 ? 1 : 0);
    }

    // Tells stderr, once, how many lines have not reached the console and to where: those
    // dropped, still queued, or in a batch not yet sent, and not told of before.
    void ReportUndelivered()
    {
        const uint64_t queued = std::min(m_queuedLines, m_nextLine - m_reportedBelow);
        const uint64_t batchEnd = m_batchFirst + m_batchLines;
        const uint64_t unsentFrom = std::max(m_batchFirst + m_batchSent, m_reportedBelow);
        const uint64_t lines = m_lostUnreported + queued + (batchEnd > unsentFrom ? batchEnd - unsentFrom : 0);
        m_reportedBelow = m_nextLine;
        m_lostUnreported = 0;
        if (lines == 0)
            return;
        std::fprintf(stderr, "zel::LogClient: %llu %s not delivered to %s\n", static_cast<unsigned long long>(lines),
                     lines == 1 ? "line" : "lines", detail::Where(m_host, m_port).c_str());
        std::fflush(stderr);
    }

    bool Stopping()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopping;
    }

    const std::string m_host;
    const uint16_t m_port;
    const LogClientOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // the sender: lines are waiting, or the client is stopping
    std::condition_variable m_drained; // Flush: the queue is empty
    std::string m_pending;             // whole frames; those before m_head are dropped
    size_t m_head = 0;
    uint64_t m_dropped = 0; // dropped since the last count line
    uint64_t m_droppedTotal = 0;
    // Lines are numbered as they are sent; those numbered below m_reportedBelow that did not
    // arrive have been reported on stderr already.
    uint64_t m_nextLine = 0;
    uint64_t m_queuedLines = 0; // lines in m_pending from m_head
    uint64_t m_reportedBelow = 0;
    uint64_t m_lostUnreported = 0; // dropped, numbered from m_reportedBelow, not yet reported
    uint64_t m_batchFirst = 0;     // the number of the first line in the batch in flight
    uint64_t m_batchLines = 0;     // lines in that batch, the count line aside
    uint64_t m_batchSent = 0;      // of which wholly sent
    bool m_batchCounted = false;   // the batch starts with a count line
    bool m_sending = false;        // a batch is out of the queue but not yet all sent
    bool m_senderIdle = false;
    bool m_stopping = false;
    bool m_connected = false;
    std::thread m_thread; // last: starts once everything above is ready
};

} // namespace zel
