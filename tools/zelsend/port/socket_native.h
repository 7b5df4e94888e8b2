#pragma once
// The system's socket calls as each side spells them, for the socket code both sides share
// (socket_common.cpp) and for each side's own (socket_win.cpp, socket_posix.cpp).
#ifdef _WIN32
// Room for every connection the relay keeps in one select (Winsock's default is 64).
#define FD_SETSIZE 512
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // getaddrinfo
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#endif

#include "port/socket.h"

#include <cstddef>
#include <string>

namespace zelsend {

#ifdef _WIN32
using NativeSocket = SOCKET;
constexpr int kShutdownSend = SD_SEND;
#else
using NativeSocket = int;
constexpr int kShutdownSend = SHUT_WR;
#endif

inline NativeSocket Native(SocketHandle h)
{
    return static_cast<NativeSocket>(h);
}

// A new socket for the address found, or kNoSocket.
SocketHandle OpenSocket(const addrinfo& a);
void CloseSocket(SocketHandle s);
bool SetNonBlocking(SocketHandle s);
// Sends what one call takes of the data: the count sent, or -1.
long SendSome(SocketHandle s, const char* data, size_t size);
// Why getaddrinfo failed, in words.
std::string ResolveErrorText(int rc);
// Readies a TCP socket to listen before it binds its port.
void PrepareListener(SocketHandle s);

} // namespace zelsend
