// What clients send through the log pipe, against the real console: texts without line breaks
// (and their save), many large frames left unfinished, floods of frames that show nothing, and
// a fault inside the reading of a frame. The window keeps answering, and a well-behaved client keeps being
// shown, whole and in order (hostile_fixture.h).
#include <algorithm>

#include "hostile_fixture.h"
#include "testkit/console_texts.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace {

using namespace hostile;

class LogPipeE2E : public HostileClientsE2E {
protected:
    TempDir m_dir;
};

// Client A sends a frame of 2 Mi letters without a line break; once the console has it, client
// B sends a line. The control wraps an unbroken run at a cost that grows with its square (in one
// append, 200,000 letters held the window for over a minute; piece by piece, 2 Mi took minutes
// and text after it waited behind): the view ends each of its rows itself, so that both show
// within seconds, A's frame whole and then B's line, while the window answers. The view's
// rows are the control's own (it wraps none of them again), and a save writes the text as sent.
TEST_F(LogPipeE2E, UnbrokenFrameThenALineFromAnotherClientShowInOrderAndSaveAsSent)
{
    const std::wstring before = m_console.Text(IDC_LOG_VIEW);
    const std::string a = Letters(0, 2 * 1024 * 1024);
    const std::string b = "the line of client B\r\n";
    {
        AnswerWatch watch(m_console);
        Client clientA, clientB;
        ASSERT_EQ(clientA.Connect(), 0);
        ASSERT_EQ(clientB.Connect(), 0);
        ASSERT_TRUE(clientA.Send(Frame(a)));
        // A's frame shows only once it has all come: from then on, B's comes after it.
        ASSERT_TRUE(WaitForView([&](const std::wstring& v) { return v.size() > before.size(); }));
        ASSERT_TRUE(clientB.Send(Frame(b)));
        EXPECT_TRUE(WaitForView([&](const std::wstring& v) {
            return v.size() >= before.size() + a.size() + b.size() && AsSent(v).find(L"client B") != v.npos;
        })) << "B's line never came";
        watch.Stop();
        EXPECT_EQ(watch.Misses(), 0) << "of " << watch.Samples() << " samples, the window did not answer within "
                                     << kAnswerMs << " ms";
    }
    const std::wstring view = m_console.Text(IDC_LOG_VIEW);
    ASSERT_EQ(view.compare(0, before.size(), before), 0);
    EXPECT_TRUE(AsSent(view.substr(before.size())) == Widen(a + b))
        << "A's frame is not whole, or B's line is not after it";
    const LRESULT rows = ::SendMessageW(m_console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0);
    EXPECT_EQ(static_cast<size_t>(rows), std::count(view.begin(), view.end(), L'\n') + 1)
        << "the control wrapped rows of the view again: a row ends where the control would not end it";
    EXPECT_GT(rows, 2 * 1024 * 1024 / 150) << "the view did not end the rows of A's frame";

    const std::wstring path = m_dir.File(L"a_and_b.txt");
    m_console.Click(IDC_SAVE_LOG);
    const HWND dialog = savedlg::WaitForOwnedDialog(m_console.ProcessId(), m_console.Window());
    ASSERT_NE(dialog, nullptr) << "no save dialog";
    ASSERT_TRUE(savedlg::ConfirmName(dialog, path));
    ASSERT_TRUE(savedlg::WaitUntilGone(dialog));
    const HWND box = savedlg::WaitForOwnedDialog(m_console.ProcessId(), m_console.Window());
    ASSERT_NE(box, nullptr) << "no message box after the save";
    savedlg::Press(box, IDOK);
    ASSERT_TRUE(savedlg::WaitUntilGone(box));
    // The view before A held the started line and ASCII frames: its code page 936 bytes are
    // those of its UTF-16 text, the started line's Chinese aside.
    const std::string file = FileText(path);
    const std::string beforeBytes = std::string(kStartedLine936) + "\r\n" + ToUtf8(before.substr(wcslen(kStarted)));
    EXPECT_EQ(file.size(), beforeBytes.size() + a.size() + b.size());
    EXPECT_TRUE(file == beforeBytes + a + b) << "the file is not the text as sent";
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
    // Frames of many MiB leave the heap a little larger than the small cases do; a kept
    // connection or frame would leave 6 MiB or more.
    ExpectBackToBaseline(4 * kMemorySlack);
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
    ASSERT_EQ(console.StartWithService(), nullptr);

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
