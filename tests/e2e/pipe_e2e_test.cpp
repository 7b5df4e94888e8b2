// What clients send through the log pipe, against the real console: texts without line breaks,
// many large frames left unfinished, floods of frames that show nothing, and a fault inside
// the reading of a frame. The window keeps answering, and a well-behaved client keeps being
// shown, whole and in order (hostile_fixture.h).
#include "hostile_fixture.h"

namespace {

using namespace hostile;

class LogPipeE2E : public HostileClientsE2E {};

// The control wraps an unbroken run at a cost that grows with its square: in one append, this
// frame held the window for over a minute.
TEST_F(LogPipeE2E, UnbrokenFrameOf200000LettersShowsWholeWhileTheWindowAnswers)
{
    const std::string letters(200000, 'q');
    RunBeside([&] {
        Client client;
        ASSERT_EQ(client.Connect(), 0);
        ASSERT_TRUE(client.Send(Frame(letters)));
        ASSERT_TRUE(client.Send(Frame("after the letters\r\n")));
        EXPECT_TRUE(WaitForFrames({letters + "after the letters\r\n"}));
    });
    ExpectStillServed();
}

// Each holds most of a 16 MiB frame and never finishes it. Without a budget across
// connections, about a hundred such clients ended the console with a failed allocation.
TEST_F(LogPipeE2E, ClientsHoldingLargeUnfinishedFramesDoNotExhaustTheConsole)
{
    constexpr int kHolders = 40;
    constexpr size_t kHeld = 6 * 1024 * 1024;
    constexpr size_t kBudget = 80u * 1024 * 1024;
    constexpr size_t kSlack = 100u * 1024 * 1024;
    Clients holders;
    RunBeside([&] {
        ASSERT_TRUE(ConnectMore(holders, kHolders));
        const std::string part = LengthBytes(kLargestFrame) + std::string(kHeld, 'h');
        // A holder the console pauses waits in its send until the send's time limit.
        std::vector<std::thread> senders;
        for (auto& holder : holders)
            senders.emplace_back([&holder, &part] { holder->SendAll(part); });
        for (std::thread& sender : senders)
            sender.join();
        const ResourceUse held = Use();
        EXPECT_LE(held.committed, m_baseline.committed + kBudget + kSlack) << held;
        for (auto& holder : holders)
            EXPECT_FALSE(holder->ClosedByPeer(0)) << "a holder within the protocol was dropped";
    });
    ExpectStillServed();
    holders.clear();
    ExpectBackToBaseline();
}

// Frames whose text is empty (a zero byte first, or invalid UTF-8) show nothing and must cost
// nothing: they are not queued, and their reads leave the window its turns.
TEST_F(LogPipeE2E, FloodOfFramesThatShowNothingThenAGoodFrame)
{
    std::string flood;
    for (int i = 0; i < 500000; ++i)
        flood += (i % 2) ? Frame(std::string(1, '\0')) : Frame("\xC0");
    RunBeside([&] {
        Client client;
        ASSERT_EQ(client.Connect(), 0);
        for (int round = 0; round < 4; ++round)
            ASSERT_TRUE(client.Send(flood));
        ASSERT_TRUE(client.Send(Frame("after the flood\r\n")));
        EXPECT_TRUE(WaitForFrame("after the flood\r\n"));
    });
    const std::wstring view = m_console.Text(IDC_LOG_VIEW);
    EXPECT_EQ(view.find(L'?'), std::wstring::npos) << "an invalid frame showed something";
    ExpectStillServed();
    ExpectBackToBaseline();
}

// An exception inside a connection's notification is reported in the view, the connection at
// fault is dropped, and everyone else goes on.
TEST(LogPipeFaultE2E, FaultWhileReadingAFrameIsContained)
{
    CConsoleProcess console;
    console.SetExe(CConsoleProcess::WindowsPath(ZEL_FAULTY_FRAMES_EXE));
    ASSERT_TRUE(console.Start());
    console.Click(IDC_SERVICE_BUTTON);
    ASSERT_TRUE(console.WaitForText(IDC_LOG_VIEW, [](const std::wstring& v) { return v == kStarted; }, kLimitMs));

    Client faulty, other;
    ASSERT_EQ(faulty.Connect(), 0);
    ASSERT_EQ(other.Connect(), 0);
    ASSERT_TRUE(faulty.Send(Frame("before\r\n") + Frame("fault") + Frame("never shown\r\n")));
    EXPECT_TRUE(faulty.ClosedByPeer(kLimitMs)) << "the connection at fault was kept";
    ASSERT_TRUE(other.Send(Frame("others go on\r\n")));
    const bool shown = console.WaitForText(
        IDC_LOG_VIEW, [](const std::wstring& v) { return v.find(L"others go on\r\n") != std::wstring::npos; },
        kLimitMs);
    EXPECT_TRUE(shown);
    const std::wstring view = console.Text(IDC_LOG_VIEW);
    EXPECT_NE(view.find(L"before\r\n"), std::wstring::npos);
    EXPECT_NE(view.find(L"planted fault"), std::wstring::npos) << "the fault was not reported: " << ToUtf8(view);
    EXPECT_EQ(view.find(L"never shown"), std::wstring::npos) << "the stream after the fault was trusted";
    EXPECT_EQ(::WaitForSingleObject(console.Process(), 0), WAIT_TIMEOUT) << "the console ended";
}

} // namespace
