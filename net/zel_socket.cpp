#include "net/zel_socket.h"

#include <algorithm>
#include <vector>

#include "log/log_registry.h"
#include "net/payload_decoder.h"

namespace {
size_t g_liveCount = 0;
std::vector<CZelSocket*> g_waiting;

// Shared by all connections: one notification runs at a time on the UI thread.
char* ReadBuffer()
{
    static std::vector<char> buffer(CZelSocket::kReadChunk);
    return buffer.data();
}
} // namespace

size_t CZelSocket::LiveCount()
{
    return g_liveCount;
}

CZelSocket::CZelSocket()
{
    ++g_liveCount;
}

CZelSocket::~CZelSocket()
{
    --g_liveCount;
    g_waiting.erase(std::remove(g_waiting.begin(), g_waiting.end(), this), g_waiting.end());
}

size_t CZelSocket::WaitingCount()
{
    return g_waiting.size();
}

void CZelSocket::ResumeWaiting()
{
    if (g_waiting.empty() || !CLogRegistry::GetInstance()->m_pending.HasRoom())
        return;
    // Selecting the events again has a read notification posted for each connection that has
    // data: the reads come as steps of their own rather than inside the caller's.
    for (CZelSocket* connection : g_waiting)
        connection->AsyncSelect(FD_READ | FD_CLOSE);
    g_waiting.clear();
}

bool CZelSocket::Consume(const char* data, int size)
{
    const auto status = m_splitter.Feed(reinterpret_cast<const uint8_t*>(data), static_cast<size_t>(size),
                                        [](const char* payload, size_t) {
                                            CLogRegistry::GetInstance()->QueueText(DecodePayload(payload));
                                        });
    return status == CFrameSplitter::Status::Ok;
}

// Data has arrived: take what is there (up to one chunk) and show every frame it completes.
// A frame cut off mid-way waits here for its next bytes; nothing blocks.
void CZelSocket::OnReceive(int nErrorCode)
{
    if (nErrorCode != 0) {
        Release();
        return;
    }
    // While the view is far behind, the data stays with the sender, which then waits: memory
    // stays bounded. No read means no new notification, so the connection is noted to resume.
    if (CLogRegistry::GetInstance()->m_pending.Full()) {
        if (std::find(g_waiting.begin(), g_waiting.end(), this) == g_waiting.end())
            g_waiting.push_back(this);
        return;
    }
    const int received = Receive(ReadBuffer(), kReadChunk);
    if (received == SOCKET_ERROR) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            Release();
        return;
    }
    if (received == 0 || !Consume(ReadBuffer(), received)) {
        Release();
        return;
    }
    CAsyncSocket::OnReceive(nErrorCode);
}

// The peer has closed or failed: frames already whole are shown, including any still unread
// on the socket; a frame cut off mid-way is dropped, since half a message would mislead.
void CZelSocket::OnClose(int nErrorCode)
{
    for (;;) {
        const int received = Receive(ReadBuffer(), kReadChunk);
        if (received <= 0 || !Consume(ReadBuffer(), received))
            break;
    }
    (void)nErrorCode;
    Release();
}

void CZelSocket::Release()
{
    Close();
    delete this;
}
