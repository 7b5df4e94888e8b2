#include "syslog/syslog_relay.h"

#ifdef _WIN32
// Room for every connection the relay keeps in one select (Winsock's default is 64).
#define FD_SETSIZE 512
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // getaddrinfo
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#endif

#include "port/error_text.h"
#include "common/exit_codes.h"
#include "common/line_rules.h"
#include "syslog/syslog_framing.h"
#include "zel_log_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zelsend {
namespace {

// More senders at once than any set of machines forwarding to one operator; each holds at most
// kSyslogBound, so the relay never holds more than about 16 MiB of unfinished messages.
constexpr size_t kMaxConnections = 256;
// Asked for so that a burst waits in the system rather than being lost; Linux grants it to
// root, others get what the system allows (net.core.rmem_max), and the relay says which.
constexpr int kReceiveBuffer = 32 * 1024 * 1024;
// How often the relay looks at `stop` when nothing arrives.
constexpr long kPollMicroseconds = 100 * 1000;
// How long a stopped relay waits for the console to take what is queued for it. With the
// client's own last connect (up to 2 s for an address that does not answer) and the relay's
// look at the stop flag, zelsend ends within 5 s of being stopped.
constexpr std::chrono::milliseconds kLastLinesWait{2500};

#ifdef _WIN32
using Native = SOCKET;
constexpr Native kNoSocket = INVALID_SOCKET;
bool WouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}
void CloseNative(Native s)
{
    closesocket(s);
}
bool SetNonBlocking(Native s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
using Native = int;
constexpr Native kNoSocket = -1;
bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}
void CloseNative(Native s)
{
    close(s);
}
bool SetNonBlocking(Native s)
{
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
#endif

// A socket the relay owns; closed when it goes.
struct OwnedSocket {
    Native s = kNoSocket;
    OwnedSocket() = default;
    explicit OwnedSocket(Native socket) : s(socket) {}
    ~OwnedSocket()
    {
        if (s != kNoSocket)
            CloseNative(s);
    }
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
};

struct Connection {
    explicit Connection(Native s) : socket(s) {}
    OwnedSocket socket;
    SyslogStream stream;
    uint64_t cutCounted = 0; // of the stream's cut messages, those in the relay's count already
};

unsigned long long Count(uint64_t n)
{
    return static_cast<unsigned long long>(n);
}

std::string Where(const char* protocol, const ListenAddress& at)
{
    return std::string(protocol) + " " + at.address + ":" + std::to_string(at.port);
}

// A socket bound to `at`, non-blocking; kNoSocket with `error` set on failure.
Native Bind(const ListenAddress& at, bool tcp, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const char* protocol = tcp ? "TCP" : "UDP";
    if (getaddrinfo(at.address.c_str(), std::to_string(at.port).c_str(), &hints, &found) != 0 || !found) {
        error = "cannot listen for syslog on " + Where(protocol, at) + ": no such address";
        return kNoSocket;
    }
    Native s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    int failure = s == kNoSocket ? LastSocketError() : 0;
    if (s != kNoSocket && tcp) {
#ifndef _WIN32
        // A relay restarted at once takes its port back while old connections wind down.
        int on = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
    }
    if (s != kNoSocket && (bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
                           (tcp && listen(s, SOMAXCONN) != 0) || !SetNonBlocking(s))) {
        failure = LastSocketError();
        CloseNative(s);
        s = kNoSocket;
    }
    freeaddrinfo(found);
    if (s == kNoSocket)
        error = "cannot listen for syslog on " + Where(protocol, at) + ": " + SystemErrorText(failure);
    return s;
}

// Makes the receive buffer as large as the system lets; returns what it is now.
int GrowReceiveBuffer(Native s)
{
    int size = kReceiveBuffer;
#ifdef SO_RCVBUFFORCE
    if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
#endif
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    size = 0;
    socklen_t length = sizeof size;
    getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length);
#ifdef SO_RXQ_OVFL
    // Linux then tells, with each datagram, how many it has dropped so far.
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
#endif
    return size;
}

class SyslogRelay {
public:
    // A datagram carries at most 65,507 bytes over IPv4 and 65,527 over IPv6: every one fits the
    // buffer whole, and none is longer than the bound.
    SyslogRelay(zel::LogClient& client, const LineRules& rules) : client_(client), rules_(rules), buffer_(kSyslogBound)
    {
    }

    bool Listen(const Options& options, std::string& error)
    {
        if (options.syslogUdp.port != 0) {
            udp_.s = Bind(options.syslogUdp, false, error);
            if (udp_.s == kNoSocket)
                return false;
            const int granted = GrowReceiveBuffer(udp_.s);
            std::fprintf(stderr, "zelsend: syslog on %s (receive buffer %d KiB)\n",
                         Where("UDP", options.syslogUdp).c_str(), granted / 1024);
        }
        if (options.syslogTcp.port != 0) {
            listener_.s = Bind(options.syslogTcp, true, error);
            if (listener_.s == kNoSocket)
                return false;
            std::fprintf(stderr, "zelsend: syslog on %s\n", Where("TCP", options.syslogTcp).c_str());
        }
        std::fflush(stderr);
        return true;
    }

    void Run(const std::atomic<bool>& stop)
    {
        while (!stop.load()) {
            fd_set ready;
            FD_ZERO(&ready);
            Native highest = 0;
            auto watch = [&](Native s) {
                FD_SET(s, &ready);
                highest = s > highest ? s : highest;
            };
            if (udp_.s != kNoSocket)
                watch(udp_.s);
            if (listener_.s != kNoSocket)
                watch(listener_.s);
            for (const auto& connection : connections_)
                watch(connection->socket.s);
            timeval limit{0, kPollMicroseconds};
            if (select(static_cast<int>(highest + 1), &ready, nullptr, nullptr, &limit) <= 0)
                continue;
            if (udp_.s != kNoSocket && FD_ISSET(udp_.s, &ready))
                ReadDatagrams();
            if (listener_.s != kNoSocket && FD_ISSET(listener_.s, &ready))
                Accept();
            for (size_t i = 0; i < connections_.size();) {
                if (FD_ISSET(connections_[i]->socket.s, &ready) && !Read(*connections_[i]))
                    connections_.erase(connections_.begin() + static_cast<long>(i));
                else
                    ++i;
            }
        }
        // Messages cut short by the stop are still shown, as far as they came.
        for (const auto& connection : connections_) {
            lines_.clear();
            connection->stream.Finish(lines_);
            ShowLines(*connection, rules_.StampNow());
        }
    }

    // What became of every message: received, then either left out by the patterns, or handed
    // to the client, which either delivered it, dropped it from its full queue, or still held
    // it when the relay gave up waiting. The client's counts include the relay's own notices
    // ("[zelsend: ...]"), which are rare: a count is never shown below zero.
    void Report(uint64_t unsent) const
    {
        const uint64_t dropped = client_.DroppedLines();
        const uint64_t lost = std::min(relayed_, dropped + unsent);
        std::fprintf(stderr,
                     "zelsend: syslog relay stopped: %llu messages received; %llu reached the console and %llu did "
                     "not: %llu left out by --include/--exclude, %llu dropped by the full queue to the console, %llu "
                     "not sent when it stopped. %llu messages relayed, %llu cut at %zu bytes, %llu datagrams lost "
                     "before they were read, %llu connections refused\n",
                     Count(received_), Count(relayed_ - lost), Count(filtered_ + lost), Count(filtered_),
                     Count(std::min(relayed_, dropped)), Count(lost - std::min(relayed_, dropped)), Count(relayed_),
                     Count(cut_), kSyslogBound, Count(lost_), Count(refused_));
        std::fflush(stderr);
    }

private:
    // Reads every datagram waiting, so the system's buffer empties as fast as it can.
    void ReadDatagrams()
    {
        for (int i = 0; i < 4096; ++i) {
            uint32_t dropped = droppedSoFar_;
            const long n = ReceiveDatagram(dropped);
            if (n < 0)
                break;
            if (dropped > droppedSoFar_) {
                const uint32_t now = dropped - droppedSoFar_;
                droppedSoFar_ = dropped;
                lost_ += now;
                client_.Send("[zelsend: " + std::to_string(now) +
                             " syslog datagrams lost: they came faster than the relay could read them]\r\n");
            }
            Show(SyslogDatagramLine(std::string_view(buffer_.data(), static_cast<size_t>(n)), kSyslogBound),
                 rules_.StampNow());
        }
    }

    // The next datagram into buffer_; -1 when none waits. `dropped` becomes the system's count
    // of datagrams lost on this socket so far, where it tells.
    long ReceiveDatagram(uint32_t& dropped)
    {
#ifdef SO_RXQ_OVFL
        iovec data{buffer_.data(), buffer_.size()};
        char control[CMSG_SPACE(sizeof(uint32_t))];
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const long n = recvmsg(udp_.s, &message, MSG_DONTWAIT);
        for (cmsghdr* c = n >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL)
                std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
        }
        return n;
#else
        (void)dropped; // Winsock does not tell
        const int n = recv(udp_.s, buffer_.data(), static_cast<int>(buffer_.size()), 0);
        return n < 0 ? -1 : n;
#endif
    }

    void Accept()
    {
        for (;;) {
            const Native s = accept(listener_.s, nullptr, nullptr);
            if (s == kNoSocket)
                return;
            OwnedSocket owned(s);
#ifndef _WIN32
            const bool fits = s < FD_SETSIZE;
#else
            const bool fits = true;
#endif
            if (connections_.size() >= kMaxConnections || !fits || !SetNonBlocking(s)) {
                ++refused_;
                client_.Send("[zelsend: a syslog connection was refused: the relay holds " +
                             std::to_string(connections_.size()) + ", as many as it can]\r\n");
                continue;
            }
            connections_.push_back(std::make_unique<Connection>(std::exchange(owned.s, kNoSocket)));
        }
    }

    // False when the sender has closed its end, or the connection failed.
    bool Read(Connection& connection)
    {
        const int n = recv(connection.socket.s, buffer_.data(), static_cast<int>(buffer_.size()), 0);
        if (n < 0 && WouldBlock(LastSocketError()))
            return true;
        lines_.clear();
        if (n > 0)
            connection.stream.Feed(std::string_view(buffer_.data(), static_cast<size_t>(n)), lines_);
        else
            connection.stream.Finish(lines_);
        ShowLines(connection, rules_.StampNow());
        return n > 0;
    }

    void ShowLines(Connection& connection, const std::string& stamp)
    {
        cut_ += connection.stream.CutMessages() - std::exchange(connection.cutCounted, connection.stream.CutMessages());
        for (const std::string& line : lines_)
            Show(line, stamp);
    }

    // A message, multi-line or not, is one line to the filters and gets one time stamp.
    void Show(const std::string& line, const std::string& stamp)
    {
        if (line.empty())
            return;
        ++received_;
        if (!rules_.Keeps(std::string_view(line).substr(0, line.size() - 2))) { // without its CR LF
            ++filtered_;
            return;
        }
        client_.Send(stamp.empty() ? line : stamp + line);
        ++relayed_;
    }

    zel::LogClient& client_;
    const LineRules& rules_;
    std::vector<char> buffer_;
    std::vector<std::string> lines_;
    OwnedSocket udp_;
    OwnedSocket listener_;
    std::vector<std::unique_ptr<Connection>> connections_;
    uint32_t droppedSoFar_ = 0;
    uint64_t received_ = 0, filtered_ = 0, relayed_ = 0, cut_ = 0, lost_ = 0, refused_ = 0;
};

} // namespace

int RunSyslogRelay(const Options& options, zel::LogClient& client, const std::atomic<bool>& stop)
{
    LineRules rules;
    std::string error;
    if (!rules.Set(options, error))
        return Fail(error, kExitUsage);
    SyslogRelay relay(client, rules);
    if (!relay.Listen(options, error))
        return Fail(error);
    relay.Run(stop);
    // Lines the console has not taken yet get a short while; any still waiting then are lost,
    // and the report counts them.
    const bool delivered = client.Flush(kLastLinesWait);
    relay.Report(delivered ? 0 : client.WaitingLines());
    return kExitSent;
}

} // namespace zelsend
