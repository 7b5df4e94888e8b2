#pragma once
// The log service's listening socket: every client it accepts becomes a connection object.
#include "platform/async_socket.h"

// The fixed port clients send their logs to.
constexpr UINT kLogServicePort = 11925;

class CZelServerSocket : public CAsyncSocket {
public:
    void OnAccept(int nErrorCode) override;
    // Stops listening and ends every connection accepted so far, for a console that closes:
    // a client whose connection stayed open until the process ended would send into a console
    // that no longer reads, and lose those lines without knowing.
    void CloseWithConnections();
    // A fault while accepting (no memory for the connection) leaves the listener itself sound:
    // it keeps listening, and the client waits in the backlog for the next accept.
    void OnFault() override {}
};
