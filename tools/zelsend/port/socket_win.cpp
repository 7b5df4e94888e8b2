#include "port/socket_native.h"

#include "port/error_text.h"

#include <iphlpapi.h>

#include <climits>
#include <utility>

namespace zelsend {
namespace {

// Asked for so that a burst waits in the system rather than being lost; Linux grants it to
// root, others get what the system allows (net.core.rmem_max), and the relay says which.
constexpr int kReceiveBuffer = 32 * 1024 * 1024;

} // namespace

SocketHandle OpenSocket(const addrinfo& a)
{
    return socket(a.ai_family, a.ai_socktype, a.ai_protocol);
}

void CloseSocket(SocketHandle s)
{
    closesocket(Native(s));
}

bool SetNonBlocking(SocketHandle s)
{
    u_long on = 1;
    return ioctlsocket(Native(s), FIONBIO, &on) == 0;
}

std::string ResolveErrorText(int rc)
{
    return SystemErrorText(rc);
}

// Winsock's SO_REUSEADDR would let another program take the port from under the relay.
void PrepareListener(SocketHandle)
{
}

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

long SendSome(SocketHandle s, const char* data, size_t size)
{
    const int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    const int sent = send(Native(s), data, chunk, 0);
    return sent < 0 ? -1 : sent;
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

bool BlockWithTimeout(SocketHandle s, long milliseconds)
{
    u_long off = 0;
    const DWORD wait = static_cast<DWORD>(milliseconds);
    return ioctlsocket(Native(s), FIONBIO, &off) == 0 &&
           setsockopt(Native(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait) == 0;
}

long ReceiveDatagram(SocketHandle s, char* buffer, size_t size, uint32_t& dropped)
{
    (void)dropped; // Winsock does not tell
    const int n = recv(Native(s), buffer, static_cast<int>(size), 0);
    return n < 0 ? -1 : n;
}

// Winsock counts nothing per socket; the IP helper's UDP statistics count, for the whole
// machine, the datagrams that reached a port and were discarded, a full buffer's among them.
DropCount SystemDropCount(SocketHandle s, uint32_t& dropped)
{
    sockaddr_storage address{};
    int length = sizeof address;
    if (getsockname(Native(s), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return DropCount::None;
    MIB_UDPSTATS statistics{};
    if (GetUdpStatisticsEx(&statistics, address.ss_family) != NO_ERROR)
        return DropCount::None;
    dropped = statistics.dwInErrors;
    return DropCount::Machine;
}

// Every socket Winsock hands out fits a select, whatever its number.
bool AcceptWaiting(SocketHandle listener, OwnedSocket& accepted)
{
    OwnedSocket s(accept(Native(listener), nullptr, nullptr));
    if (!s)
        return false;
    if (SetNonBlocking(s.Get()))
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

} // namespace zelsend
