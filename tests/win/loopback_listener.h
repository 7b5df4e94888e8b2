#pragma once
// A console listener for tests: on an ephemeral loopback port, so that tests never need the
// console's fixed port.
#include "net/zel_server_socket.h"

// Creates and starts `server` on 127.0.0.1 and returns its port; 0 when that failed.
inline u_short ListenOnLoopback(CZelServerSocket& server)
{
    if (!server.Create(0, SOCK_STREAM, FD_ACCEPT, L"127.0.0.1") || ::listen(server, SOMAXCONN) != 0)
        return 0;
    sockaddr_in bound = {};
    int length = sizeof bound;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&bound), &length);
    return ::ntohs(bound.sin_port);
}
