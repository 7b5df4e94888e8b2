#pragma once
// A non-blocking socket whose network events arrive as virtual calls on the thread that
// created it, through that thread's message loop.
#include <winsock2.h>

#include <windows.h>

// Starts the sockets library once for the process; FALSE when it is unavailable.
BOOL AfxSocketInit(WSADATA* data = nullptr);

class CAsyncSocket {
public:
    SOCKET m_hSocket = INVALID_SOCKET;

    CAsyncSocket() = default;
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Makes an IPv4 socket for the given events and binds it to the port on every local address
    // (or the given dotted address). After a failure no handle stays open.
    BOOL Create(UINT port, int type, long events, const wchar_t* address = nullptr);
    // Closes the handle; no notification for it follows. The object can be created again.
    void Close();
    // Takes one waiting connection into an object that has no handle yet.
    virtual BOOL Accept(CAsyncSocket& connected, SOCKADDR* address = nullptr, int* addressLength = nullptr);
    // Replaces the set of events whose notifications this object gets.
    BOOL AsyncSelect(long events);
    // Never blocks: bytes read, 0 when the peer has closed, SOCKET_ERROR otherwise (also when no data is there).
    int Receive(void* buffer, int size, int flags = 0);
    // Has OnReceive called again soon, as a notification of its own: for a reader that stopped
    // reading and may read on, since no new notification comes until it reads.
    void PostReceive();
    // Closes the socket now and deletes the object once the notification under way has
    // returned: for objects made with new that nobody owns, which end from inside a handler.
    void DestroyLater();
    operator SOCKET() const { return m_hSocket; }

    virtual void OnAccept(int) {}
    virtual void OnReceive(int) {}
    virtual void OnSend(int) {}
    virtual void OnClose(int) {}
    // An exception left one of this object's handlers; it was reported. The socket is closed,
    // since its stream can no longer be trusted.
    virtual void OnFault() { Close(); }

private:
    friend class CSocketNotifier;
    UINT m_notifyMessage = 0; // the private message its events arrive as, while it is registered
};
