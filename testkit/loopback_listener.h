#pragma once
// A listener and clients of it for tests in the console's own process: an ephemeral loopback
// port, so that tests never need the console's fixed port.
#include "platform/async_socket.h"
#include "testkit/test_client.h"

// Creates and starts `server` on 127.0.0.1 and returns its port; 0 when that failed.
inline u_short ListenOnLoopback(CAsyncSocket& server)
{
    if (!server.Create(0, SOCK_STREAM, FD_ACCEPT, L"127.0.0.1") || ::listen(server, SOMAXCONN) != 0)
        return 0;
    sockaddr_in bound = {};
    int length = sizeof bound;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&bound), &length);
    return ::ntohs(bound.sin_port);
}

// A client that connects as it is made. The listener's thread accepts it once its message
// loop runs; the connect itself completes at once.
class LoopbackClient : public TestClient {
public:
    explicit LoopbackClient(u_short port) : TestClient(port), m_connected(Connect() == 0) {}
    bool Connected() const { return m_connected; }
    // True once the other end has closed its side.
    bool Closed() { return ClosedByPeer(0); }

private:
    bool m_connected;
};
