#pragma once
// One accepted client. Reads its log frames as they arrive and offers their text to the log
// pipe, reading only as much as the pipe allows. Owned by nobody: it ends itself when the peer
// closes, fails or breaks the protocol, and is deleted once that notification has returned.
#include "log/log_pipe.h"
#include "net/frame_splitter.h"
#include "platform/async_socket.h"

class CZelSocket : public CAsyncSocket {
public:
    // One read per notification, so that a busy client cannot starve the others; large enough
    // that a single busy client keeps the view fed (a chunk holds about a slice of text).
    static constexpr int kReadChunk = 256 * 1024;

    // Number of connection objects alive, for tests and leak checks.
    static size_t LiveCount();
    // Ends every connection now: each client sees the end at once and keeps what it sends next
    // for the next console. The objects go as when their peers close, once the notification
    // under way (if any) has returned.
    static void EndAll();
    // Called with each whole frame's payload before it is decoded: tests plant faults here.
    using FrameObserver = void (*)(const char* payload, size_t length);
    static void SetFrameObserver(FrameObserver observer);

    CZelSocket();
    ~CZelSocket() override;

    void OnReceive(int nErrorCode) override;
    // Never selected; kept as the connection's own slot, passing on to the base as it always has.
    void OnSend(int nErrorCode) override { CAsyncSocket::OnSend(nErrorCode); }
    void OnClose(int nErrorCode) override;
    void OnFault() override { DestroyLater(); }

private:
    enum class Read {
        Some,    // bytes were read and their frames offered
        Paused,  // the pipe has no room now: this reader waits to be resumed
        Nothing, // no data is there
        Ended,   // the peer has gone, the read failed, or the stream broke the protocol
    };
    // Reads what the pipe allows and feeds it to the splitter.
    Read ReadSome();
    // After the peer has closed: reads what is left, as far as the pipe allows.
    void Drain();

    CFrameSplitter m_splitter;
    CLogPipe::Reader m_reader;
    bool m_peerClosed = false;
};
