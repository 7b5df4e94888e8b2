#pragma once
// A client of the console (or of a listener of a test) on this machine: plain Winsock, as any
// program that sends logs would be. Every write leaves as it is, so the console sees the pieces
// the test cut.
#include <winsock2.h>

#include <windows.h>

#include <string>

#include "platform/scoped.h"
#include "testkit/console_texts.h"

// An address of this machine: INADDR_LOOPBACK, or INADDR_ANY for every interface.
inline sockaddr_in Ipv4(ULONG host, uint16_t port)
{
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = ::htons(port);
    at.sin_addr.s_addr = ::htonl(host);
    return at;
}

// A blocking listener on 127.0.0.1 at a port of the system's choosing, which `port` receives;
// holds nothing when that failed.
inline UniqueSocket LoopbackListener(uint16_t& port)
{
    UniqueSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in at = Ipv4(INADDR_LOOPBACK, 0);
    int size = sizeof at;
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&at), size) != 0 ||
        ::listen(listener.Get(), SOMAXCONN) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&at), &size) != 0)
        return UniqueSocket();
    port = ::ntohs(at.sin_port);
    return listener;
}

class TestClient {
public:
    // How long one send may wait for the other end to read, unless SetSendLimit says otherwise.
    static constexpr DWORD kSendLimitMs = 120000;

    explicit TestClient(uint16_t port = ConsolePort())
        : m_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)), m_port(port)
    {
        BOOL noDelay = TRUE;
        ::setsockopt(Handle(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        SetSendLimit(kSendLimitMs);
    }

    // 0 once connected within the limit, else the Winsock error (WSAETIMEDOUT at the limit).
    int Connect(DWORD limitMs = 5000)
    {
        if (!BeginConnect())
            return ::WSAGetLastError();
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(Handle(), &writable);
        FD_SET(Handle(), &failed);
        timeval limit = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
        // A refused connect may mark the socket in both sets, so any count above zero is an answer.
        if (::select(0, nullptr, &writable, &failed, &limit) <= 0)
            return WSAETIMEDOUT;
        return ConnectResult();
    }
    // Starts a connect without waiting for it.
    bool BeginConnect()
    {
        SetBlocking(false);
        const sockaddr_in to = Ipv4(INADDR_LOOPBACK, m_port);
        return ::connect(Handle(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ||
               ::WSAGetLastError() == WSAEWOULDBLOCK;
    }
    // After BeginConnect: 0 when connected, else the Winsock error; blocking again either way.
    int ConnectResult()
    {
        int error = 0;
        int size = sizeof error;
        ::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        SetBlocking(true);
        return error;
    }
    // A send that waits longer fails instead: a console that stops reading fails the test. 0
    // would mean no limit, so the least is 1 ms.
    void SetSendLimit(DWORD limitMs)
    {
        limitMs = limitMs ? limitMs : 1;
        ::setsockopt(Handle(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limitMs), sizeof limitMs);
    }
    // 0 once all is sent, else the Winsock error.
    int SendAll(const std::string& bytes)
    {
        for (size_t sent = 0; sent < bytes.size();) {
            const int n = ::send(Handle(), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n <= 0)
                return ::WSAGetLastError();
            sent += static_cast<size_t>(n);
        }
        return 0;
    }
    bool Send(const std::string& bytes) { return SendAll(bytes) == 0; }
    // Connects, then sends all of `bytes`: 0, or the Winsock error of the step that failed.
    int ConnectThenSend(const std::string& bytes)
    {
        const int error = Connect();
        return error ? error : SendAll(bytes);
    }
    // True when the other end closes (or resets) the connection within the limit.
    bool ClosedByPeer(DWORD limitMs)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Handle(), &readable);
        timeval limit = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
        if (::select(0, &readable, nullptr, nullptr, &limit) != 1)
            return false;
        char byte;
        return ::recv(Handle(), &byte, 1, 0) <= 0;
    }
    // Aborts the connection: the other end gets a reset instead of an orderly close.
    void Reset()
    {
        const linger abort = {1, 0};
        ::setsockopt(Handle(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        Close();
    }
    void Close() { m_socket.Reset(); }
    SOCKET Handle() const { return m_socket.Get(); }

private:
    void SetBlocking(bool blocking)
    {
        u_long nonBlocking = blocking ? 0 : 1;
        ::ioctlsocket(Handle(), FIONBIO, &nonBlocking);
    }

    UniqueSocket m_socket;
    uint16_t m_port;
};
