// A connection that ends inside its own notification is deleted only after the notification
// has returned, and an exception from a notification is reported and drops only that socket.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/async_socket.h"
#include "platform/fault.h"
#include "testkit/loopback_listener.h"
#include "testkit/pump.h"
#include "testkit/wire_text.h"

namespace {

struct Seen {
    int destroyed = 0;
    int faults = 0;
    bool aliveAfterDestroyLater = false;
    std::vector<CString> reported;
};

// An accepted socket that ends itself on close, or throws on data, as told.
class EndingSocket : public CAsyncSocket {
public:
    EndingSocket(Seen& seen, bool throwOnData) : m_seen(seen), m_throwOnData(throwOnData) {}
    ~EndingSocket() override { ++m_seen.destroyed; }

    void OnReceive(int) override
    {
        char buffer[64];
        Receive(buffer, sizeof buffer);
        if (m_throwOnData)
            throw std::runtime_error("boom");
    }
    void OnClose(int) override
    {
        DestroyLater();
        m_seen.aliveAfterDestroyLater = m_seen.destroyed == 0 && m_hSocket == INVALID_SOCKET;
    }
    void OnFault() override
    {
        ++m_seen.faults;
        DestroyLater();
    }

private:
    Seen& m_seen;
    bool m_throwOnData;
};

class Listener : public CAsyncSocket {
public:
    Listener(Seen& seen, bool throwOnData) : m_seen(seen), m_throwOnData(throwOnData) {}
    void OnAccept(int) override
    {
        auto* accepted = new EndingSocket(m_seen, m_throwOnData);
        if (!Accept(*accepted) || !accepted->AsyncSelect(FD_READ | FD_CLOSE))
            delete accepted;
    }

private:
    Seen& m_seen;
    bool m_throwOnData;
};

class SocketFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetFaultReporter([this](const CString& what) { m_seen.reported.push_back(what); });
    }
    void TearDown() override { SetFaultReporter(nullptr); }
    // A listener on the loopback address that accepts into EndingSockets, and its port.
    u_short Listen(Listener& listener)
    {
        const u_short port = ListenOnLoopback(listener);
        EXPECT_NE(port, 0);
        return port;
    }
    Seen m_seen;
};

TEST_F(SocketFaults, ASocketEndedInsideItsHandlerIsDeletedAfterItReturns)
{
    Listener listener(m_seen, false);
    LoopbackClient client(Listen(listener));
    PumpPending(200);
    client.Close();
    ASSERT_TRUE(PumpUntil([&] { return m_seen.destroyed == 1; })) << "the ended socket was never deleted";
    EXPECT_TRUE(m_seen.aliveAfterDestroyLater) << "deleted, or left open, inside its own handler";
}

TEST_F(SocketFaults, AnExceptionFromAHandlerIsReportedAndDropsOnlyThatSocket)
{
    Listener throwing(m_seen, true);
    const u_short port = Listen(throwing);
    LoopbackClient client(port);
    ASSERT_TRUE(client.Send("data"));
    ASSERT_TRUE(PumpUntil([&] { return m_seen.destroyed == 1; }));
    EXPECT_EQ(m_seen.faults, 1);
    ASSERT_EQ(m_seen.reported.size(), 1u);
    EXPECT_EQ(m_seen.reported[0], L"boom");
    // The listener still serves: the next client is accepted and its fault contained too.
    LoopbackClient next(port);
    ASSERT_TRUE(next.Send("more"));
    EXPECT_TRUE(PumpUntil([&] { return m_seen.destroyed == 2; }));
    EXPECT_EQ(m_seen.reported.size(), 2u);
}

} // namespace
