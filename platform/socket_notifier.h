#pragma once
// The hidden window, one per UI thread, to which Winsock posts socket events. It maps each
// event back to the object that owns the socket and calls its handler.
#include <winsock2.h>

#include <windows.h>

#include <unordered_map>
#include <vector>

class CAsyncSocket;

// The next id from `next` on, going round [first, last] once, that is not taken; 0 when every
// id is taken. Advances `next` past the id returned.
template <class IsTaken>
UINT NextFreeId(UINT& next, UINT first, UINT last, IsTaken isTaken)
{
    for (UINT tried = 0; tried <= last - first; ++tried) {
        const UINT id = next;
        next = id == last ? first : id + 1;
        if (!isTaken(id))
            return id;
    }
    return 0;
}

class CSocketNotifier {
public:
    // The notifier of the calling thread, created on first use.
    static CSocketNotifier& ForThisThread();

    // Asks for the events of the object's socket; registers the object on first use.
    bool Select(CAsyncSocket& socket, long events);
    // Stops the events of the object's socket and forgets it; queued events for it are ignored.
    void Forget(CAsyncSocket& socket);
    // Queues the event for the object's socket, as if Winsock had posted it.
    void Post(const CAsyncSocket& socket, long event);
    // Deletes the object once the message under way has been handled.
    void DeleteLater(CAsyncSocket* socket);

private:
    CSocketNotifier();
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Handle(CAsyncSocket& socket, long event, int error);
    void DeleteDoomed();
    UINT NextFreeMessage();

    HWND m_hWnd = nullptr;
    // Each registration gets a message id of its own, so an event still queued for a closed
    // socket cannot reach a later socket that Winsock gives the same handle value.
    std::unordered_map<UINT, CAsyncSocket*> m_sockets;
    UINT m_nextMessage;
    std::vector<CAsyncSocket*> m_doomed;
};
