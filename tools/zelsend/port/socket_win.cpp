// Room for every connection the relay keeps in one select (Winsock's default is 64).
#define FD_SETSIZE 512
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // getaddrinfo
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include "port/error_text.h"
#include "port/socket.h"

#include <climits>
#include <utility>

namespace zelsend {
namespace {

// Asked for so that a burst waits in the system rather than being lost; Linux grants it to
// root, others get what the system allows (net.core.rmem_max), and the relay says which.
constexpr int kReceiveBuffer = 32 * 1024 * 1024;

SOCKET Native(SocketHandle h)
{
    return static_cast<SOCKET>(h);
}

bool SetNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

} // namespace

Networking::Networking()
{
    WSADATA data;
    startError_ = WSAStartup(MAKEWORD(2, 2), &data);
}

Networking::~Networking()
{
    if (startError_ == 0)
        WSACleanup();
}

bool Networking::Ready(std::string& error) const
{
    if (startError_ == 0)
        return true;
    error = "cannot start the socket library: " + SystemErrorText(startError_);
    return false;
}

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
        closesocket(Native(Release()));
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
        error = "cannot resolve " + host + ": " + SystemErrorText(rc);
        return false;
    }
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr && !socket_; a = a->ai_next) {
        OwnedSocket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (!s || connect(Native(s.Get()), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0)
            lastError = WSAGetLastError();
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
        const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
        const int sent = send(Native(socket_.Get()), data, chunk, 0);
        if (sent < 0) {
            error = "send failed: " + SystemErrorText(WSAGetLastError());
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

void Socket::ShutdownSend()
{
    shutdown(Native(socket_.Get()), SD_SEND);
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
    OwnedSocket s(socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    if (!s || bind(Native(s.Get()), found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
        (tcp && listen(Native(s.Get()), SOMAXCONN) != 0) || !SetNonBlocking(Native(s.Get()))) {
        why = SystemErrorText(WSAGetLastError());
        s.Close();
    }
    freeaddrinfo(found);
    return s;
}

int GrowReceiveBuffer(SocketHandle s)
{
    int size = kReceiveBuffer;
    setsockopt(Native(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
    size = 0;
    int length = sizeof size;
    getsockopt(Native(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length);
    return size;
}

long ReceiveDatagram(SocketHandle s, char* buffer, size_t size, uint32_t& dropped)
{
    (void)dropped; // Winsock does not tell
    const int n = recv(Native(s), buffer, static_cast<int>(size), 0);
    return n < 0 ? -1 : n;
}

// Every socket Winsock hands out fits a select, whatever its number.
bool AcceptWaiting(SocketHandle listener, OwnedSocket& accepted)
{
    OwnedSocket s(accept(Native(listener), nullptr, nullptr));
    if (!s)
        return false;
    if (SetNonBlocking(Native(s.Get())))
        accepted = std::move(s);
    return true;
}

long ReceiveSome(SocketHandle s, char* buffer, size_t size)
{
    const int n = recv(Native(s), buffer, static_cast<int>(size), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return kNothingYet;
    return n < 0 ? -1 : n;
}

bool WaitReadable(const std::vector<SocketHandle>& sockets, long microseconds, std::vector<char>& ready)
{
    fd_set set;
    FD_ZERO(&set);
    for (SocketHandle s : sockets)
        FD_SET(Native(s), &set);
    timeval limit{0, microseconds};
    ready.assign(sockets.size(), 0);
    if (select(0, &set, nullptr, nullptr, &limit) <= 0)
        return false;
    for (size_t i = 0; i < sockets.size(); ++i)
        ready[i] = FD_ISSET(Native(sockets[i]), &set) ? 1 : 0;
    return true;
}

} // namespace zelsend
