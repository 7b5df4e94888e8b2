#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console_fixture.h"
#include "net/payload_decoder.h"
#include "net/zel_server_socket.h"
#include "net/zel_socket.h"
#include "testkit/loopback_listener.h"
#include "testkit/pump.h"
#include "testkit/wire_text.h"
#include "ui/zel_log_console_dlg.h"

namespace {

// A real console window and a real listener on an ephemeral loopback port.
class Loopback : public ListeningConsoleFixture {
protected:
    bool ShowsExactly(const CString& text)
    {
        return PumpUntil([&] { return ViewText() == text; });
    }
    size_t Connections() const { return CZelSocket::LiveCount(); }
    bool ConnectionsBecome(size_t n)
    {
        return PumpUntil([&] { return Connections() == n; });
    }
    // What the view shows once a client that sent `bytes` and closed is gone.
    CString ShownWhenClosedAfter(const std::string& bytes)
    {
        LoopbackClient client(m_port);
        EXPECT_TRUE(ConnectionsBecome(1));
        EXPECT_TRUE(client.Send(bytes));
        client.Close();
        EXPECT_TRUE(ConnectionsBecome(0)) << "the connection was not freed";
        PumpPending();
        return ViewText();
    }
};

TEST_F(Loopback, HelloFrameIsShownWithoutALineBreak)
{
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(std::string("\x05\x00\x00\x00hello", 9)));
    EXPECT_TRUE(ShowsExactly(L"hello"));
}

TEST_F(Loopback, TwoClientsInterleavedFrameByFrame)
{
    LoopbackClient a(m_port), b(m_port);
    ASSERT_TRUE(a.Connected() && b.Connected());
    CString expected;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(a.Send(Frame("A" + std::to_string(i) + "\r\n")));
        expected += L"A" + std::to_wstring(i) + L"\r\n";
        ASSERT_TRUE(ShowsExactly(expected));
        ASSERT_TRUE(b.Send(Frame("B" + std::to_string(i) + "\r\n")));
        expected += L"B" + std::to_wstring(i) + L"\r\n";
        ASSERT_TRUE(ShowsExactly(expected));
    }
}

TEST_F(Loopback, StalledClientDoesNotHoldUpOthers)
{
    LoopbackClient stalled(m_port), lively(m_port);
    const std::string whole = Frame("stalled frame\r\n");
    ASSERT_TRUE(stalled.Send(whole.substr(0, 9)));
    ASSERT_TRUE(lively.Send(Frame("lively 1\r\n")));
    ASSERT_TRUE(ShowsExactly(L"lively 1\r\n"));
    ASSERT_TRUE(lively.Send(Frame("lively 2\r\n")));
    ASSERT_TRUE(ShowsExactly(L"lively 1\r\nlively 2\r\n"));
    ASSERT_TRUE(stalled.Send(whole.substr(9)));
    EXPECT_TRUE(ShowsExactly(L"lively 1\r\nlively 2\r\nstalled frame\r\n"));
}

TEST_F(Loopback, FrameSentOneByteAtATimeIsShownOnceWhole)
{
    LoopbackClient client(m_port);
    const std::string bytes = Frame("slowly 日志\r\n") + Frame("next\r\n");
    for (char c : bytes) {
        ASSERT_TRUE(client.Send(std::string(1, c)));
        PumpPending(2);
        const CString shown = ViewText();
        EXPECT_TRUE(shown.empty() || shown == L"slowly 日志\r\n" || shown == L"slowly 日志\r\nnext\r\n")
            << "partial frame shown";
    }
    EXPECT_TRUE(ShowsExactly(L"slowly 日志\r\nnext\r\n"));
}

TEST_F(Loopback, InvalidEmptyAndNegativeFramesShowNothingAndTheNextIsRead)
{
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Send(Frame("bad \x80 utf8") + std::string(4, '\0') + std::string(4, '\xFF') + Frame("good")));
    EXPECT_TRUE(ShowsExactly(L"good"));
    EXPECT_EQ(Connections(), 1u);
}

TEST_F(Loopback, CloseMidPayloadShowsWholeFramesDropsThePartOneAndFreesTheConnection)
{
    EXPECT_EQ(ShownWhenClosedAfter(Frame("kept\r\n") + Frame("cut off mid-way").substr(0, 10)), L"kept\r\n");
}

TEST_F(Loopback, CloseMidLengthDropsThePartialLength)
{
    EXPECT_EQ(ShownWhenClosedAfter(Frame("kept") + std::string("\x05\x00", 2)), L"kept");
}

TEST_F(Loopback, ClientThatResetsIsFreedAndOthersGoOn)
{
    LoopbackClient resetting(m_port), other(m_port);
    ASSERT_TRUE(ConnectionsBecome(2));
    ASSERT_TRUE(resetting.Send(Frame("before reset\r\n")));
    ASSERT_TRUE(ShowsExactly(L"before reset\r\n"));
    ASSERT_TRUE(resetting.Send(Frame("never whole").substr(0, 8)));
    resetting.Reset();
    ASSERT_TRUE(ConnectionsBecome(1));
    ASSERT_TRUE(other.Send(Frame("still here\r\n")));
    EXPECT_TRUE(ShowsExactly(L"before reset\r\nstill here\r\n"));
}

TEST_F(Loopback, OversizeLengthClosesTheConnectionWithoutShowingAnything)
{
    LoopbackClient client(m_port);
    const int32_t over = 16 * 1024 * 1024 + 1;
    ASSERT_TRUE(client.Send(LengthBytes(over) + "abc"));
    ASSERT_TRUE(ConnectionsBecome(0));
    EXPECT_TRUE(PumpUntil([&] { return client.Closed(); }));
    EXPECT_EQ(ViewText(), L"");
}

TEST_F(Loopback, HttpRequestIsCutOff)
{
    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    ASSERT_TRUE(ConnectionsBecome(0));
    EXPECT_EQ(ViewText(), L"");
}

TEST_F(Loopback, BurstFromSeveralClientsArrivesWholeAndInPerClientOrder)
{
    constexpr int kClients = 4, kFrames = 3000;
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int c = 0; c < kClients; ++c)
        clients.push_back(std::make_unique<LoopbackClient>(m_port));
    std::string batch[kClients];
    for (int i = 0; i < kFrames; ++i)
        for (int c = 0; c < kClients; ++c)
            batch[c] += Frame("c" + std::to_string(c) + " #" + std::to_string(i) + "\r\n");
    for (int c = 0; c < kClients; ++c)
        ASSERT_TRUE(clients[c]->Send(batch[c]));

    const size_t lines = kClients * kFrames;
    ASSERT_TRUE(
        PumpUntil([&] { return static_cast<size_t>(m_dlg.m_editLog.Send(EM_GETLINECOUNT)) == lines + 1; }, 60000));
    const CString text = ViewText();
    int next[kClients] = {};
    size_t from = 0;
    while (from < text.size()) {
        const size_t eol = text.find(L"\r\n", from);
        ASSERT_NE(eol, CString::npos);
        const CString line = text.substr(from, eol - from);
        const int c = line[1] - L'0';
        ASSERT_TRUE(c >= 0 && c < kClients) << "mangled line";
        ASSERT_EQ(line, L"c" + std::to_wstring(c) + L" #" + std::to_wstring(next[c])) << "lost, repeated or reordered";
        ++next[c];
        from = eol + 2;
    }
    for (int c = 0; c < kClients; ++c)
        EXPECT_EQ(next[c], kFrames);
}

// Frames over CPayloadDecoder::kPieceBytes are decoded over several steps of the window: each
// still shows whole, in its place among the frames before and after it, and one with an invalid
// sequence near its end shows nothing at all.
TEST_F(Loopback, LargeFramesShowWholeInTheirPlaceAndAnInvalidOneShowsNothing)
{
    std::string large;
    CString largeShown;
    for (int i = 0; large.size() < 3 * CPayloadDecoder::kPieceBytes; ++i) {
        large += "\xE7\xAC\xAC" + std::to_string(i) + "\xE8\xA1\x8C \xE6\x97\xA5\xE5\xBF\x97 text\r\n"; // 第N行 日志
        largeShown += L"第" + std::to_wstring(i) + L"行 日志 text\r\n";
    }
    std::string invalid = large;
    invalid[invalid.size() - 10] = '\xFF';

    LoopbackClient client(m_port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(
        client.Send(Frame("before\r\n") + Frame(large) + Frame("between\r\n") + Frame(invalid) + Frame("after\r\n")));
    const CString expected = L"before\r\n" + largeShown + L"between\r\nafter\r\n";
    EXPECT_TRUE(PumpUntil([&] { return ViewLength() >= expected.size(); }, 120000));
    PumpPending();
    EXPECT_TRUE(ViewText() == expected) << "view holds " << ViewLength() << " of " << expected.size() << " characters";
}

} // namespace
