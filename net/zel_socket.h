#pragma once
// One accepted client. Reads its log frames as they arrive and queues their text for the log
// view. Owned by nobody: it frees itself when the peer closes, fails or breaks the protocol.
#include "net/frame_splitter.h"
#include "platform/async_socket.h"

class CZelSocket : public CAsyncSocket {
public:
    // One read per notification, so that a busy client cannot starve the others; large enough
    // that a single busy client keeps the view fed (a chunk holds about a slice of text).
    static constexpr int kReadChunk = 256 * 1024;

    // Number of connection objects alive, for tests and leak checks.
    static size_t LiveCount();
    // Connections that stopped reading because the view is far behind.
    static size_t WaitingCount();
    // Once the waiting text has room again, the connections that stopped read on.
    static void ResumeWaiting();

    CZelSocket();
    ~CZelSocket() override;

    void OnReceive(int nErrorCode) override;
    void OnSend(int nErrorCode) override { CAsyncSocket::OnSend(nErrorCode); }
    void OnClose(int nErrorCode) override;

private:
    // Feeds bytes to the splitter; false when the stream broke the protocol.
    bool Consume(const char* data, int size);
    void Release();

    CFrameSplitter m_splitter;
};
