#include "platform/async_socket.h"

#include <cstdlib>
#include <string>

#include "platform/socket_notifier.h"

BOOL AfxSocketInit(WSADATA* data)
{
    static bool started = false;
    if (started)
        return TRUE;
    WSADATA local;
    if (::WSAStartup(MAKEWORD(2, 2), data ? data : &local) != 0)
        return FALSE;
    started = true;
    std::atexit([] { ::WSACleanup(); });
    return TRUE;
}

CAsyncSocket::~CAsyncSocket()
{
    Close();
}

BOOL CAsyncSocket::Create(UINT port, int type, long events, const wchar_t* address)
{
    m_hSocket = ::socket(AF_INET, type, 0);
    if (m_hSocket == INVALID_SOCKET)
        return FALSE;

    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = ::htons(static_cast<u_short>(port));
    local.sin_addr.s_addr = ::htonl(INADDR_ANY);
    if (address) {
        const std::string narrow(address, address + ::wcslen(address));
        local.sin_addr.s_addr = ::inet_addr(narrow.c_str());
    }
    if (!AsyncSelect(events) ||
        ::bind(m_hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        const int error = ::WSAGetLastError();
        Close();
        ::WSASetLastError(error);
        return FALSE;
    }
    return TRUE;
}

void CAsyncSocket::Close()
{
    if (m_hSocket == INVALID_SOCKET)
        return;
    CSocketNotifier::ForThisThread().Forget(*this);
    ::closesocket(m_hSocket);
    m_hSocket = INVALID_SOCKET;
}

BOOL CAsyncSocket::Accept(CAsyncSocket& connected, SOCKADDR* address, int* addressLength)
{
    const SOCKET accepted = ::accept(m_hSocket, address, addressLength);
    if (accepted == INVALID_SOCKET)
        return FALSE;
    connected.m_hSocket = accepted;
    // The new socket inherits the listener's events; it gets its own once the caller selects them.
    if (!CSocketNotifier::ForThisThread().Select(connected, 0)) {
        connected.Close();
        return FALSE;
    }
    return TRUE;
}

BOOL CAsyncSocket::AsyncSelect(long events)
{
    return CSocketNotifier::ForThisThread().Select(*this, events);
}

int CAsyncSocket::Receive(void* buffer, int size, int flags)
{
    return ::recv(m_hSocket, static_cast<char*>(buffer), size, flags);
}

void CAsyncSocket::PostReceive()
{
    CSocketNotifier::ForThisThread().Post(*this, FD_READ);
}

void CAsyncSocket::DestroyLater()
{
    Close();
    CSocketNotifier::ForThisThread().DeleteLater(this);
}
