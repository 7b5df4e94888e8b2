#pragma once
// zelsend's sockets on Windows and on POSIX systems alike: the one-shot modes' blocking
// connection to the console, and the syslog relay's listening sockets (its datagram socket read
// by a thread of its own, each read waiting a while; the rest read without blocking).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelsend {

// Holds the socket library for the life of the program (Winsock needs starting; POSIX does not).
class Networking {
public:
    Networking();
    ~Networking();
    Networking(const Networking&) = delete;
    Networking& operator=(const Networking&) = delete;
    bool Ready(std::string& error) const;

private:
    int startError_ = 0;
};

// A SOCKET on Windows, a descriptor elsewhere.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle kNoSocket = ~SocketHandle{0};

// A socket zelsend owns; closes on destruction; move-only.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(SocketHandle s) : s_(s) {}
    ~OwnedSocket() { Close(); }
    OwnedSocket(OwnedSocket&& other) noexcept : s_(other.Release()) {}
    OwnedSocket& operator=(OwnedSocket&& other) noexcept;
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;

    SocketHandle Get() const { return s_; }
    explicit operator bool() const { return s_ != kNoSocket; }
    SocketHandle Release();
    void Close();

private:
    SocketHandle s_ = kNoSocket;
};

// A connected TCP stream; closes on destruction; move-only.
class Socket {
public:
    // Tries each address the host resolves to; on failure, `error` names host, port and cause.
    bool Connect(const std::string& host, uint16_t port, std::string& error);
    bool SendAll(const char* data, size_t size, std::string& error);
    // Tells the console no more frames follow, so it can see the end of the last one.
    void ShutdownSend();
    // Holds at most 256 KiB on this side of the connection: the bytes in doubt should the console
    // close it, or be slow to read the last of them.
    void KeepFewInFlight();
    // After ShutdownSend: waits up to `ms` for the console to close its end, which it does once
    // it has read everything. Peer::Closed then; Peer::Reset when it closed with bytes unread;
    // Peer::Open when it had not finished reading.
    enum class Peer { Open, Closed, Reset };
    Peer AwaitEnd(long ms);
    void Close() { socket_.Close(); }

private:
    OwnedSocket socket_;
};

// A socket bound to `address`:`port`, non-blocking, and listening when `tcp`; empty on failure,
// with `why` saying what failed in words.
OwnedSocket ListenOn(const std::string& address, uint16_t port, bool tcp, std::string& why);

// Makes a datagram socket's receive buffer as large as the system lets; returns its size now.
int GrowReceiveBuffer(SocketHandle s);

// Makes reads of `s` wait for data, each at most `milliseconds`; false when the system refuses.
bool BlockWithTimeout(SocketHandle s, long milliseconds);

// The next datagram, into `buffer`: its size, or -1 when none came (at once on a non-blocking
// socket, else within the socket's wait). `dropped` becomes the system's count of datagrams
// lost on this socket so far, where it tells (Linux only).
long ReceiveDatagram(SocketHandle s, char* buffer, size_t size, uint32_t& dropped);

// Whose datagrams a system's count of drops for a full receive buffer covers.
enum class DropCount {
    None,    // the system keeps no count
    Socket,  // `s`'s own (Linux)
    Machine, // every UDP socket of `s`'s address family on the machine (Windows): it only ever
             // grows, so what the relay lost is at most the growth while it ran
};

// The system's count of datagrams dropped because a receive buffer was full, into `dropped`,
// and which datagrams it covers.
DropCount SystemDropCount(SocketHandle s, uint32_t& dropped);

// Takes the next connection waiting on `listener`; false when none waits. `accepted` is left
// empty when the connection cannot be read without blocking or waited for, and is then closed.
bool AcceptWaiting(SocketHandle listener, OwnedSocket& accepted);

// What a non-blocking read returns when nothing has arrived yet.
constexpr long kNothingYet = -2;

// Reads what a connection has ready: the count, 0 once the peer has closed, kNothingYet, or -1
// when the connection failed.
long ReceiveSome(SocketHandle s, char* buffer, size_t size);

// Waits up to `microseconds` until one of `sockets` can be read; false when none can. Then
// ready[i] is non-zero for each socket that can.
bool WaitReadable(const std::vector<SocketHandle>& sockets, long microseconds, std::vector<char>& ready);

} // namespace zelsend
