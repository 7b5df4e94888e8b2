#include "net/zel_socket.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "log/log_registry.h"
#include "net/payload_decoder.h"

namespace {
// Every connection alive, so that the console can end them all when it closes.
std::vector<CZelSocket*>& Live()
{
    static std::vector<CZelSocket*> live;
    return live;
}
CZelSocket::FrameObserver g_frameObserver = nullptr;

// Shared by all connections: one notification runs at a time on the UI thread.
char* ReadBuffer()
{
    static std::vector<char> buffer(CZelSocket::kReadChunk);
    return buffer.data();
}
} // namespace

size_t CZelSocket::LiveCount()
{
    return Live().size();
}

void CZelSocket::EndAll()
{
    // A copy: a connection leaves the list only when it is deleted, later, but stay safe anyway.
    const std::vector<CZelSocket*> live = Live();
    for (CZelSocket* connection : live)
        connection->DestroyLater();
}

void CZelSocket::SetFrameObserver(FrameObserver observer)
{
    g_frameObserver = observer;
}

// A paused connection reads on through a read notification of its own, not inside the pipe's call.
// One the pipe sheds for its idle unfinished frame goes as when its peer closes mid-frame.
CZelSocket::CZelSocket()
    : m_reader(
          CLogRegistry::GetInstance()->m_pipe, [this] { PostReceive(); }, [this] { DestroyLater(); })
{
    Live().push_back(this);
}

CZelSocket::~CZelSocket()
{
    auto& live = Live();
    live.erase(std::find(live.begin(), live.end(), this));
}

CZelSocket::Read CZelSocket::ReadSome()
{
    const size_t allowed = m_reader.MayRead(m_splitter.FrameLength(), kReadChunk);
    if (allowed == 0)
        return Read::Paused; // the data stays with the sender until the pipe resumes this reader
    const int received = Receive(ReadBuffer(), static_cast<int>(allowed));
    if (received == SOCKET_ERROR)
        return ::WSAGetLastError() == WSAEWOULDBLOCK ? Read::Nothing : Read::Ended;
    if (received == 0)
        return Read::Ended;
    CLogPipe& pipe = CLogRegistry::GetInstance()->m_pipe;
    const auto status = m_splitter.Feed(reinterpret_cast<const uint8_t*>(ReadBuffer()), static_cast<size_t>(received),
                                        [&pipe](const char* payload, size_t length) {
                                            if (g_frameObserver)
                                                g_frameObserver(payload, length);
                                            // A large payload is decoded over several steps of the window.
                                            if (length > CPayloadDecoder::kPieceBytes)
                                                pipe.Offer(std::make_unique<CPayloadDecoder>(payload, length));
                                            else
                                                pipe.Offer(DecodePayload(payload));
                                        });
    // All there was has been read: between frames, the connection holds no buffer while quiet.
    if (static_cast<size_t>(received) < allowed)
        m_splitter.ReleaseBuffer();
    m_reader.Holding(m_splitter.HeldBytes(), m_splitter.FrameLength());
    return status == CFrameSplitter::Status::Ok ? Read::Some : Read::Ended;
}

// Data has arrived: take what is there (up to one chunk, and no more than the pipe allows) and
// offer every frame it completes. A frame cut off mid-way waits here for its next bytes.
void CZelSocket::OnReceive(int nErrorCode)
{
    if (m_peerClosed)
        return Drain();
    if (nErrorCode != 0 || ReadSome() == Read::Ended) {
        DestroyLater();
        return;
    }
    CAsyncSocket::OnReceive(nErrorCode);
}

// The peer has closed or failed: frames already whole are shown, including any still unread on
// the socket; a frame cut off mid-way is dropped, since half a message would mislead.
void CZelSocket::OnClose(int nErrorCode)
{
    (void)nErrorCode;
    m_peerClosed = true;
    Drain();
}

// A reader paused here reads the rest once resumed, through OnReceive, until the stream ends.
void CZelSocket::Drain()
{
    for (;;) {
        switch (ReadSome()) {
        case Read::Some:
            continue;
        case Read::Paused:
            return;
        case Read::Nothing:
        case Read::Ended:
            DestroyLater();
            return;
        }
    }
}
