#include "net/zel_server_socket.h"

#include "net/zel_socket.h"

// A client is waiting: accept it into a connection of its own, which from then on reads its
// frames and frees itself when the client goes. A failed accept is silent.
void CZelServerSocket::OnAccept(int nErrorCode)
{
    CAsyncSocket::OnAccept(nErrorCode);
    auto* connection = new CZelSocket();
    if (!Accept(*connection) || !connection->AsyncSelect(FD_READ | FD_CLOSE)) {
        delete connection;
        return;
    }
}

void CZelServerSocket::CloseWithConnections()
{
    Close();
    CZelSocket::EndAll();
}
