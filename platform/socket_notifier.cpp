#include "platform/socket_notifier.h"

#include <algorithm>

#include "platform/async_socket.h"
#include "platform/fault.h"

namespace {
// Asks for the objects that ended inside a handler to be deleted.
constexpr UINT kDeleteDoomedMessage = WM_APP + 0xFF;
constexpr UINT kFirstMessage = WM_APP + 0x100;
constexpr UINT kLastMessage = 0xBFFF;
const wchar_t kClassName[] = L"ZelSocketNotifier";
} // namespace

CSocketNotifier& CSocketNotifier::ForThisThread()
{
    // Lives as long as the thread: events may still be queued for it at any point.
    thread_local CSocketNotifier* notifier = new CSocketNotifier();
    return *notifier;
}

CSocketNotifier::CSocketNotifier() : m_nextMessage(kFirstMessage)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    ::RegisterClassW(&wc); // fails harmlessly when another thread registered it already
    m_hWnd = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UINT CSocketNotifier::NextFreeMessage()
{
    return NextFreeId(m_nextMessage, kFirstMessage, kLastMessage,
                      [this](UINT message) { return m_sockets.count(message) != 0; });
}

bool CSocketNotifier::Select(CAsyncSocket& socket, long events)
{
    if (socket.m_notifyMessage == 0) {
        // Every id in use (some 16,000 sockets): this socket cannot be served.
        const UINT message = NextFreeMessage();
        if (message == 0)
            return false;
        socket.m_notifyMessage = message;
        m_sockets[message] = &socket;
    }
    return ::WSAAsyncSelect(socket.m_hSocket, m_hWnd, socket.m_notifyMessage, events) == 0;
}

void CSocketNotifier::Forget(CAsyncSocket& socket)
{
    if (socket.m_notifyMessage == 0)
        return;
    if (socket.m_hSocket != INVALID_SOCKET)
        ::WSAAsyncSelect(socket.m_hSocket, m_hWnd, 0, 0);
    m_sockets.erase(socket.m_notifyMessage);
    socket.m_notifyMessage = 0;
}

void CSocketNotifier::Post(const CAsyncSocket& socket, long event)
{
    if (socket.m_notifyMessage == 0)
        return;
    ::PostMessageW(m_hWnd, socket.m_notifyMessage, socket.m_hSocket, WSAMAKESELECTREPLY(event, 0));
}

void CSocketNotifier::DeleteLater(CAsyncSocket* socket)
{
    if (std::find(m_doomed.begin(), m_doomed.end(), socket) != m_doomed.end())
        return;
    m_doomed.push_back(socket);
    if (m_doomed.size() == 1)
        ::PostMessageW(m_hWnd, kDeleteDoomedMessage, 0, 0);
}

void CSocketNotifier::DeleteDoomed()
{
    std::vector<CAsyncSocket*> doomed;
    doomed.swap(m_doomed);
    for (CAsyncSocket* socket : doomed)
        delete socket;
}

void CSocketNotifier::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    auto it = m_sockets.find(message);
    if (it == m_sockets.end())
        return;
    CAsyncSocket& socket = *it->second;
    if (socket.m_hSocket != static_cast<SOCKET>(wParam))
        return;
    // The handler may close the object or ask for it to be deleted; it is deleted only after
    // the handler has returned, so the object is still there for a fault.
    const int error = WSAGETSELECTERROR(lParam);
    try {
        Handle(socket, WSAGETSELECTEVENT(lParam), error);
    } catch (...) {
        ReportCurrentFault();
        socket.OnFault();
    }
}

void CSocketNotifier::Handle(CAsyncSocket& socket, long event, int error)
{
    switch (event) {
    case FD_READ:
        socket.OnReceive(error);
        break;
    case FD_WRITE:
        socket.OnSend(error);
        break;
    case FD_ACCEPT:
        socket.OnAccept(error);
        break;
    case FD_CLOSE:
        socket.OnClose(error);
        break;
    default:
        break;
    }
}

LRESULT CALLBACK CSocketNotifier::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CSocketNotifier*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == kDeleteDoomedMessage) {
        self->DeleteDoomed();
        return 0;
    }
    if (self && message >= kFirstMessage && message <= kLastMessage) {
        self->Dispatch(message, wParam, lParam);
        self->DeleteDoomed();
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}
