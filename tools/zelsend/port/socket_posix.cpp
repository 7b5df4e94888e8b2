#include "port/error_text.h"
#include "port/socket_native.h"

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sock_diag.h> // SK_MEMINFO_DROPS
#endif

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace zelsend {
namespace {

// Asked for so that a burst waits in the system rather than being lost; Linux grants it to
// root, others get what the system allows (net.core.rmem_max), and the relay says which.
constexpr int kReceiveBuffer = 32 * 1024 * 1024;

// socket() and accept() give -1 on failure, which becomes kNoSocket.
SocketHandle Handle(int s)
{
    return s < 0 ? kNoSocket : static_cast<SocketHandle>(s);
}

} // namespace

SocketHandle OpenSocket(const addrinfo& a)
{
    return Handle(socket(a.ai_family, a.ai_socktype, a.ai_protocol));
}

void CloseSocket(SocketHandle s)
{
    close(Native(s));
}

bool SetNonBlocking(SocketHandle s)
{
    const int flags = fcntl(Native(s), F_GETFL, 0);
    return flags >= 0 && fcntl(Native(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string ResolveErrorText(int rc)
{
    return gai_strerror(rc);
}

// A relay restarted at once takes its port back while old connections wind down.
void PrepareListener(SocketHandle s)
{
    int on = 1;
    setsockopt(Native(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

// POSIX sockets need no start.
Networking::Networking() = default;
Networking::~Networking() = default;

bool Networking::Ready(std::string&) const
{
    return true;
}

long SendSome(SocketHandle s, const char* data, size_t size)
{
    const size_t chunk = size > INT_MAX ? INT_MAX : size;
    for (;;) {
        // A closed peer is reported as an error, not a signal.
        const ssize_t sent = send(Native(s), data, chunk, MSG_NOSIGNAL);
        if (sent >= 0 || errno != EINTR)
            return sent < 0 ? -1 : static_cast<long>(sent);
    }
}

int GrowReceiveBuffer(SocketHandle s)
{
    int size = kReceiveBuffer;
#ifdef SO_RCVBUFFORCE
    if (setsockopt(Native(s), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
#endif
        setsockopt(Native(s), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    size = 0;
    socklen_t length = sizeof size;
    getsockopt(Native(s), SOL_SOCKET, SO_RCVBUF, &size, &length);
#ifdef SO_RXQ_OVFL
    // Linux then tells, with each datagram, how many it has dropped so far.
    int on = 1;
    setsockopt(Native(s), SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
#endif
    return size;
}

bool BlockWithTimeout(SocketHandle s, long milliseconds)
{
    const int flags = fcntl(Native(s), F_GETFL, 0);
    const timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return flags >= 0 && fcntl(Native(s), F_SETFL, flags & ~O_NONBLOCK) == 0 &&
           setsockopt(Native(s), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) == 0;
}

long ReceiveDatagram(SocketHandle s, char* buffer, size_t size, uint32_t& dropped)
{
#ifdef SO_RXQ_OVFL
    iovec data{buffer, size};
    char control[CMSG_SPACE(sizeof(uint32_t))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const long n = recvmsg(Native(s), &message, 0);
    for (cmsghdr* c = n >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL)
            std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
    }
    return n;
#else
    (void)dropped; // only Linux tells
    const ssize_t n = recv(Native(s), buffer, size, 0);
    return n < 0 ? -1 : static_cast<long>(n);
#endif
}

DropCount SystemDropCount(SocketHandle s, uint32_t& dropped)
{
#if defined(SO_MEMINFO) && defined(__linux__)
    uint32_t info[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof info;
    if (getsockopt(Native(s), SOL_SOCKET, SO_MEMINFO, info, &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof info[0])
        return DropCount::None;
    dropped = info[SK_MEMINFO_DROPS];
    return DropCount::Socket;
#else
    (void)s;
    (void)dropped;
    return DropCount::None;
#endif
}

// A descriptor past FD_SETSIZE cannot be waited for with select: such a connection is not kept.
bool AcceptWaiting(SocketHandle listener, OwnedSocket& accepted)
{
    OwnedSocket s(Handle(accept(Native(listener), nullptr, nullptr)));
    if (!s)
        return false;
    if (Native(s.Get()) < FD_SETSIZE && SetNonBlocking(s.Get()))
        accepted = std::move(s);
    return true;
}

long ReceiveSome(SocketHandle s, char* buffer, size_t size)
{
    const ssize_t n = recv(Native(s), buffer, size, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return kNothingYet;
    return n < 0 ? -1 : static_cast<long>(n);
}

} // namespace zelsend
