// The socket code that reads the same on both sides; socket_native.h names what differs.
#include "port/error_text.h"
#include "port/socket_native.h"

#include <utility>

namespace zelsend {

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        s_ = other.Release();
    }
    return *this;
}

SocketHandle OwnedSocket::Release()
{
    return std::exchange(s_, kNoSocket);
}

void OwnedSocket::Close()
{
    if (s_ != kNoSocket)
        CloseSocket(Release());
}

bool Socket::Connect(const std::string& host, uint16_t port, std::string& error)
{
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        error = "cannot resolve " + host + ": " + ResolveErrorText(rc);
        return false;
    }
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr && !socket_; a = a->ai_next) {
        OwnedSocket s(OpenSocket(*a));
        if (!s || connect(Native(s.Get()), a->ai_addr, static_cast<socklen_t>(a->ai_addrlen)) != 0)
            lastError = LastSocketError();
        else
            socket_ = std::move(s);
    }
    freeaddrinfo(found);
    if (socket_)
        return true;
    error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + SystemErrorText(lastError);
    return false;
}

bool Socket::SendAll(const char* data, size_t size, std::string& error)
{
    while (size > 0) {
        const long sent = SendSome(socket_.Get(), data, size);
        if (sent < 0) {
            error = "send failed: " + SystemErrorText(LastSocketError());
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void Socket::ShutdownSend()
{
    shutdown(Native(socket_.Get()), kShutdownSend);
}

void Socket::KeepFewInFlight()
{
    const int size = 256 * 1024;
    setsockopt(Native(socket_.Get()), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

Socket::Peer Socket::AwaitEnd(long ms)
{
    std::vector<char> ready;
    if (!WaitReadable({socket_.Get()}, ms * 1000, ready))
        return Peer::Open;
    char byte;
    const long n = ReceiveSome(socket_.Get(), &byte, 1); // the console sends nothing: this is its end
    return n == 0 ? Peer::Closed : n == kNothingYet ? Peer::Open : Peer::Reset;
}

OwnedSocket ListenOn(const std::string& address, uint16_t port, bool tcp, std::string& why)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        why = "no such address";
        return {};
    }
    OwnedSocket s(OpenSocket(*found));
    if (s && tcp)
        PrepareListener(s.Get());
    if (!s || bind(Native(s.Get()), found->ai_addr, static_cast<socklen_t>(found->ai_addrlen)) != 0 ||
        (tcp && listen(Native(s.Get()), SOMAXCONN) != 0) || !SetNonBlocking(s.Get())) {
        why = SystemErrorText(LastSocketError());
        s.Close();
    }
    freeaddrinfo(found);
    return s;
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, long microseconds, std::vector<char>& ready)
{
    fd_set set;
    FD_ZERO(&set);
    NativeSocket highest = 0;
    for (SocketHandle s : sockets) {
        FD_SET(Native(s), &set);
        highest = Native(s) > highest ? Native(s) : highest;
    }
    timeval limit{0, microseconds};
    ready.assign(sockets.size(), 0);
    // Winsock ignores the count of descriptors; POSIX waits on those below it.
    if (select(static_cast<int>(highest) + 1, &set, nullptr, nullptr, &limit) <= 0)
        return false;
    for (size_t i = 0; i < sockets.size(); ++i)
        ready[i] = FD_ISSET(Native(sockets[i]), &set) ? 1 : 0;
    return true;
}

} // namespace zelsend
