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
// and port: by a Flush that runs out of time, and by the destructor, which first keeps handing
// lines to the console while it takes them and then ends the view with a line that counts the
// ones it gave up. The host may be a name, an IPv4 address or an IPv6 address, bare ("::1") or
// bracketed ("[::1]").
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
    // The longest the destructor keeps handing queued lines to the console, reconnecting as
    // needed; it stops sooner once all are out, or once the console has taken nothing for a
    // second. Then up to a second more for the line that counts what it gave up, and for the
    // console to confirm it read everything; a connect in progress may add 2 s per address.
    std::chrono::milliseconds closeFlush{5000};
};

namespace detail {

// The console closes the connection on any larger frame.
constexpr size_t kMaxPayload = 16 * 1024 * 1024;
// At close: a console that takes nothing for this long is given up, and this long is what the
// last line and the console's confirmation get after the lines.
constexpr std::chrono::milliseconds kStall{1000};
// What the system may hold on its side of the connection: the bytes whose fate is open when the
// console closes or the client stops, so they are kept few.
constexpr int kSendBuffer = 256 * 1024;
// At most this much goes to the system each time it reports room, so that its buffer never fills
// up: the frame cut at a stop and the last line then fit at once, even while a slow console
// frees room only in large steps.
constexpr size_t kSendChunk = 64 * 1024;

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

// The last line of a client that stops with lines it could not hand over: with the dropped-lines
// lines before it, it makes the view account for every line.
inline std::string UndeliveredLine(uint64_t n)
{
    return "[zel::LogClient: " + std::to_string(n) + (n == 1 ? " line" : " lines") +
           " not delivered, the program stopped logging before the console took them]\r\n";
}

// The first line on a new connection after the console closed one with bytes unread.
inline std::string ResetLine()
{
    return "[zel::LogClient: the console closed the connection; lines written just before it may be missing]\r\n";
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

// How a connection stands. The console never sends anything, so anything to read is its end: a
// clean one (it had read all it was sent) or a reset (it closed with bytes unread, or failed).
enum class Peer { Open, Closed, Reset };

inline Peer PeerState(NativeSocket s, int waitMs = 0)
{
    if (!Wait(s, false, waitMs))
        return Peer::Open;
    char byte;
    const auto n = ::recv(s, &byte, 1, MSG_PEEK);
    if (n == 0) { // an end of stream after the console refused bytes sent once it had closed is a reset
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        if (error != 0)
            return Peer::Reset;
#ifdef _WIN32
        // Wine tells a reset as an end of stream too; a send of nothing then fails with a reset,
        // where after a clean end it does not.
        if (::send(s, "", 0, 0) < 0 && ::WSAGetLastError() == WSAECONNRESET)
            return Peer::Reset;
#endif
        return Peer::Closed;
    }
    return n < 0 && WouldBlock() ? Peer::Open : Peer::Reset;
}

// Ends the sending side, so that the console, once it has read everything, closes its own.
inline void EndSending(NativeSocket s)
{
#ifdef _WIN32
    ::shutdown(s, SD_SEND);
#else
    ::shutdown(s, SHUT_WR);
#endif
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
        int buffer = kSendBuffer;
        ::setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
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

// What became of a client's lines once it has stopped (LogClient::Close).
struct LogClientEnd {
    uint64_t dropped = 0;    // dropped from the full queue, all told
    uint64_t leftAtStop = 0; // still queued, or not wholly sent, when it stopped
    uint64_t resets = 0;     // times the console closed the connection with bytes unread
    bool confirmed = false;  // the console said, by closing its end, that it read every byte
};

class LogClient {
public:
    using Clock = std::chrono::steady_clock;

    explicit LogClient(std::string host, uint16_t port = 11925, LogClientOptions options = {})
        : m_host(std::move(host)), m_port(port), m_options(options), m_thread([this] { Run(); })
    {
    }
    ~LogClient() { Close(); }
    LogClient(const LogClient&) = delete;
    LogClient& operator=(const LogClient&) = delete;

    // Keeps handing lines to the console while it takes them (up to closeFlush), ends the view
    // with a line counting those it gave up, and stops. A short program never makes the later
    // connection that would carry that count, so stderr is told too, once the sender has
    // stopped, so that the count is exact. Later calls only return what the first found.
    LogClientEnd Close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_closing) {
                m_closing = true;
                m_closeStart = Clock::now();
                m_closeDeadline = m_closeStart + m_options.closeFlush;
            }
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ended) {
            m_ended = true;
            ReportUndelivered();
        }
        return m_end;
    }

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

    // A logging library's own flush: waits up to a second for the queue, only while connected,
    // and reports nothing. A program may flush after every line, so a console that is away or
    // slow must not hold each of them up; the close names what never went out.
    bool FlushWhileConnected()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_connected &&
               m_drained.wait_for(lock, std::min(m_options.closeFlush, detail::kStall), [this] { return Empty(); });
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
    // Where a batch stands: bytes sent, the frame they end in, and the frames wholly sent.
    struct Progress {
        bool done = false;
        size_t sent = 0, frameStart = 0, frameEnd = 0, framesDone = 0;
    };

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
        m_batchDropped = m_dropped;
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
                m_wake.wait(lock, [this] { return m_closing || m_head < m_pending.size() || m_dropped > 0; });
                m_senderIdle = false;
                if (m_head == m_pending.size() && m_dropped == 0)
                    break; // closing, and everything is out
                m_sending = true;
                TakeBatch(batch);
            }
            const Progress progress = SendBatch(connection, batch, retry);
            if (!progress.done)
                return Finish(connection, batch, progress);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_batchLines = m_batchSent = 0;
        }
        Finish(connection, batch, Progress{true});
    }

    // Sends the batch whole, reconnecting as often as needed; a frame cut off by a failure is
    // sent again from its start, since the console drops the part it had. Not done when the
    // client gave up at its close first.
    Progress SendBatch(detail::Connection& connection, const std::string& batch, std::chrono::milliseconds& retry)
    {
        Progress p;
        p.frameEnd = detail::FrameSizeAt(batch, 0);
        while (p.sent < batch.size()) {
            if (!connection.Open() && !Reconnect(connection, retry))
                return p;
            const detail::Peer state = detail::PeerState(connection.Handle());
            if (state != detail::Peer::Open) {
                Broken(connection, state);
                p.sent = p.frameStart;
                continue;
            }
            if (!detail::Wait(connection.Handle(), true, 100)) { // a console that reads slowly is waited for
                if (GiveUp())
                    return p;
                continue;
            }
            const size_t chunk = std::min<size_t>(batch.size() - p.sent, detail::kSendChunk);
            const auto n =
                ::send(connection.Handle(), batch.data() + p.sent, static_cast<int>(chunk), detail::kSendFlags);
            if (n > 0) {
                p.sent += static_cast<size_t>(n);
                retry = m_options.retryStart;
                m_lastTaken = Clock::now();
                Advance(batch, p);
                if (p.sent < batch.size() && GiveUp())
                    return p;
            } else if (n < 0 && detail::WouldBlock()) {
                if (GiveUp())
                    return p;
            } else {
                Broken(connection, detail::Peer::Reset);
                p.sent = p.frameStart;
            }
        }
        p.done = true;
        return p;
    }

    // Moves past the frames `p.sent` has completed, and tells a report they are out.
    void Advance(const std::string& batch, Progress& p)
    {
        const size_t before = p.framesDone;
        while (p.frameEnd <= p.sent) {
            ++p.framesDone;
            p.frameStart = p.frameEnd;
            if (p.frameEnd == batch.size())
                break;
            p.frameEnd += detail::FrameSizeAt(batch, p.frameEnd);
        }
        if (p.framesDone != before)
            CountSent(p.framesDone);
    }

    // The end of the sender: a frame cut at the stop is completed, so that the line after it
    // reads whole; the lines given up are counted in one last line; then the console is asked,
    // by the end of the sending side, to confirm that it read everything, by closing its own.
    void Finish(detail::Connection& connection, const std::string& batch, Progress p)
    {
        // What is left of the wait at close, and at least a second.
        Clock::time_point until = Clock::now() + detail::kStall;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            until = std::max(until, m_closeDeadline);
        }
        // Bytes are in doubt from here unless the console confirms, or a reset is told instead.
        const bool inDoubt = connection.Open();
        uint64_t resets = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            resets = m_end.resets;
        }
        if (connection.Open() && !p.done && p.sent > p.frameStart) {
            if (WriteAll(connection, batch.data() + p.sent, p.frameEnd - p.sent, until)) {
                p.sent = p.frameEnd;
                Advance(batch, p);
            } else {
                Disconnect(connection);
            }
        }
        uint64_t unsaid = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            unsaid = m_dropped + m_batchDropped + m_queuedLines + (m_batchLines - m_batchSent);
            m_end.leftAtStop = m_queuedLines + (m_batchLines - m_batchSent);
        }
        if (connection.Open() && unsaid > 0) {
            std::string last;
            detail::AppendFrame(last, detail::UndeliveredLine(unsaid));
            if (!WriteAll(connection, last.data(), last.size(), until))
                Disconnect(connection);
        }
        detail::Peer state = detail::Peer::Open;
        if (connection.Open()) {
            detail::EndSending(connection.Handle());
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            state = detail::PeerState(connection.Handle(), int(std::max<long long>(left, 0)));
            if (state == detail::Peer::Reset)
                Broken(connection, state);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_end.confirmed = !inDoubt || state == detail::Peer::Closed;
        m_unconfirmed = inDoubt && state == detail::Peer::Open && m_end.resets == resets;
    }

    // Writes a few bytes whole: the count lines that must not be cut. False when the connection
    // broke, at `until`, or once the console has taken nothing for kStall.
    bool WriteAll(detail::Connection& connection, const char* data, size_t size, Clock::time_point until)
    {
        const Clock::time_point hardUntil = until;
        until = std::min(until, Clock::now() + detail::kStall);
        while (size > 0) {
            const auto n = ::send(connection.Handle(), data, static_cast<int>(std::min<size_t>(size, 1 << 20)),
                                  detail::kSendFlags);
            if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
                m_lastTaken = Clock::now();
                until = std::max(until, std::min(m_lastTaken + detail::kStall, hardUntil));
            } else if (n < 0 && detail::WouldBlock() && Clock::now() < until) {
                // Tried again at the latest in 50 ms, whatever the wait says: the system reports
                // room only once a third of its buffer is free, while a few bytes fit much sooner.
                detail::Wait(connection.Handle(), true, 50);
            } else {
                if (n < 0 && !detail::WouldBlock())
                    Broken(connection, detail::Peer::Reset);
                return false;
            }
        }
        return true;
    }

    // When closing: whether to give up, the console having taken nothing for kStall, or the
    // wait at close being over.
    Clock::time_point GiveUpAt() const
    {
        return std::min(m_closeDeadline, std::max(m_lastTaken, m_closeStart) + detail::kStall);
    }
    bool GiveUp() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closing && Clock::now() >= GiveUpAt();
    }

    // False when the client gave up at its close; otherwise waits out the back-off between
    // attempts. A connection made after the console reset the last one says so first.
    bool Reconnect(detail::Connection& connection, std::chrono::milliseconds& retry)
    {
        for (;;) {
            while (!connection.Connect(m_host, m_port, ConnectLimitMs())) {
                if (!WaitBackOff(retry))
                    return false;
                retry = std::min(retry * 2, m_options.retryMax);
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_connected = true;
                if (!m_resetUnsaid)
                    return true;
            }
            std::string line;
            detail::AppendFrame(line, detail::ResetLine());
            if (WriteAll(connection, line.data(), line.size(), Clock::now() + detail::kStall)) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_resetUnsaid = false;
                return true;
            }
            Disconnect(connection);
            if (GiveUp())
                return false;
        }
    }

    // 2 s for each address; at close no longer than until the client gives up, so that a stopped
    // zelsend reports within the 5 s Windows leaves it.
    int ConnectLimitMs() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_closing)
            return 2000;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(GiveUpAt() - Clock::now()).count();
        return int(std::clamp<long long>(left, 10, 2000));
    }

    bool WaitBackOff(std::chrono::milliseconds retry)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const Clock::time_point until = Clock::now() + retry;
        for (;;) {
            if (m_closing && Clock::now() >= GiveUpAt())
                return false;
            if (Clock::now() >= until)
                return true;
            m_wake.wait_until(lock, m_closing ? std::min(until, GiveUpAt()) : until);
        }
    }

    // The connection has ended: a reset means the console closed it with bytes unread, so lines
    // written just before may be missing, which the next connection and the report say.
    void Broken(detail::Connection& connection, detail::Peer state)
    {
        if (state == detail::Peer::Reset) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_end.resets;
            ++m_resetsUnreported;
            m_resetUnsaid = true;
        }
        Disconnect(connection);
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
        if (framesDone > 0)
            m_batchDropped = 0; // the count line is out
    }

    // Tells stderr, once, how many lines have not reached the console and to where: those
    // dropped, still queued, or in a batch not yet sent, and not told of before; and whether
    // lines written just before the console closed the connection may be missing.
    void ReportUndelivered()
    {
        const uint64_t queued = std::min(m_queuedLines, m_nextLine - m_reportedBelow);
        const uint64_t batchEnd = m_batchFirst + m_batchLines;
        const uint64_t unsentFrom = std::max(m_batchFirst + m_batchSent, m_reportedBelow);
        const uint64_t lines = m_lostUnreported + queued + (batchEnd > unsentFrom ? batchEnd - unsentFrom : 0);
        m_reportedBelow = m_nextLine;
        m_lostUnreported = 0;
        const std::string where = detail::Where(m_host, m_port);
        if (lines > 0)
            std::fprintf(stderr, "zel::LogClient: %llu %s not delivered to %s\n",
                         static_cast<unsigned long long>(lines), lines == 1 ? "line" : "lines", where.c_str());
        if (m_resetsUnreported > 0)
            std::fprintf(stderr,
                         "zel::LogClient: %s closed the connection with lines unread; lines written just "
                         "before may be missing\n",
                         where.c_str());
        if (m_unconfirmed)
            std::fprintf(stderr,
                         "zel::LogClient: %s had not read the last lines when the client stopped; they may "
                         "be missing\n",
                         where.c_str());
        m_resetsUnreported = 0;
        m_unconfirmed = false;
        std::fflush(stderr);
        m_end.dropped = m_droppedTotal;
    }

    const std::string m_host;
    const uint16_t m_port;
    const LogClientOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // the sender: lines are waiting, or the client is closing
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
    uint64_t m_batchDropped = 0;   // the count its count line carries, until that line is out
    bool m_batchCounted = false;   // the batch starts with a count line
    bool m_sending = false;        // a batch is out of the queue but not yet all sent
    bool m_senderIdle = false;
    bool m_connected = false;
    bool m_resetUnsaid = false;       // the next connection starts with the reset line
    uint64_t m_resetsUnreported = 0;  // resets the report has not told of
    bool m_unconfirmed = false;       // stopped before the console confirmed it read everything
    bool m_closing = false;           // Close has begun: the sender ends once done or given up
    bool m_ended = false;             // Close has reported
    Clock::time_point m_closeStart{}; // when Close began
    Clock::time_point m_closeDeadline{};
    Clock::time_point m_lastTaken{}; // the sender's own: when the console last took bytes
    LogClientEnd m_end;
    std::thread m_thread; // last: starts once everything above is ready
};

} // namespace zel
