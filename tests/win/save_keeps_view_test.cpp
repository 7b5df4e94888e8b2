// A save near the view's capacity while text keeps arriving: from the click until the file is
// written or the dialog cancelled, the view drops none of its oldest text. The file holds the
// view as it was at the click, then what arrived until the operator confirmed, in order; what
// did not fit waits in the pipe, and trimming resumes once the save is over. And the file holds
// the text as it was sent, not the line breaks the view put in itself.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "console_fixture.h"
#include "testkit/loopback_listener.h"
#include "net/zel_socket.h"
#include "testkit/pump.h"
#include "testkit/background.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace {

// A line of 100 characters, CR LF included, numbered.
CString Line(const wchar_t* what, int i)
{
    return NumberedLine(CString(what) + L" ", i, L'-');
}

// The one message box of a save that succeeded.
void ExpectToldSaved(const ScriptedOperator& op)
{
    ASSERT_EQ(op.m_boxes.size(), 1u);
    EXPECT_EQ(op.m_boxes[0].text, kSaved);
}

std::string Narrow(const CString& ascii)
{
    return std::string(ascii.begin(), ascii.end());
}

std::string ConfirmedOrCancelled(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "Confirmed" : "Cancelled";
}

// The console with a listener for the clients that send while the dialog is open.
class SaveKeepsView : public SavingConsoleFixture<ListeningConsoleFixture>, public ::testing::WithParamInterface<bool> {
protected:
    explicit SaveKeepsView(size_t capacity = kCapacity) : SavingConsoleFixture(capacity) {}
    bool Confirms() const { return GetParam(); }

    // Fills the view with lines to within a line and a half of its capacity, a hundred lines
    // to an append.
    CString FillView(const size_t capacity)
    {
        CString block;
        for (int i = 0; ViewLength() + block.size() + 150 <= capacity; ++i) {
            block += Line(L"before", i);
            if (block.size() == 10000 || ViewLength() + block.size() + 150 > capacity)
                m_dlg.AppendLog(std::exchange(block, CString()));
        }
        if (!block.empty())
            m_dlg.AppendLog(block);
        return ViewText();
    }
    // The operator clicks "保存日志" and confirms a file name when the parameter says so.
    void ClickSave()
    {
        if (Confirms())
            m_operator.m_answer = m_dir.File(L"saved.txt");
        Click(IDC_SAVE_LOG);
    }
    // What the click on "保存日志" must leave: the file (or none) and the view.
    void ExpectSaved(const CString& expected)
    {
        if (!Confirms()) {
            EXPECT_EQ(m_dir.Entries(), 0) << "a cancelled save wrote a file";
            EXPECT_TRUE(m_operator.m_boxes.empty());
            return;
        }
        const std::string file = FileText(*m_operator.m_answer);
        EXPECT_EQ(file.size(), expected.size()) << "the file must hold the view at the click and all that arrived";
        EXPECT_TRUE(file == Narrow(expected)) << "the file differs from the view and what arrived, in order";
        ExpectToldSaved(m_operator);
    }
    // Once the save is over, everything that arrived reaches the view, and the view trims its
    // oldest lines again: it ends with the newest text, in whole lines, within its capacity.
    void ExpectTrimmingResumes(const CString& all, size_t capacity)
    {
        const CString last = all.substr(all.size() - 100);
        const auto lastShown = [&] {
            const CString view = ViewText();
            return view.size() >= last.size() && view.compare(view.size() - last.size(), last.size(), last) == 0;
        };
        EXPECT_TRUE(PumpUntil(lastShown, 120000)) << "text that waited never reached the view";
        PumpPending();
        EXPECT_TRUE(Pipe().Empty());
        const CString view = ViewText();
        EXPECT_LE(view.size(), capacity);
        EXPECT_LT(view.size(), all.size()) << "trimming did not resume after the save";
        ASSERT_FALSE(view.empty());
        EXPECT_EQ(all.compare(all.size() - view.size(), view.size(), view), 0) << "the view is not the newest text";
        EXPECT_EQ(all[all.size() - view.size() - 1], L'\n') << "the view begins inside a line";
    }

    static constexpr size_t kCapacity = 20000;
};

// Status lines and frames offered while the dialog is open, with the window running: the flush
// appends while there is room and then stops; nothing of the view at the click goes.
TEST_P(SaveKeepsView, TextArrivingWhileTheDialogIsOpenPushesOutNothing)
{
    const CString atClick = FillView(kCapacity);
    CString arrived;
    m_operator.m_whileOpen = [&] {
        for (int i = 0; i < 60; ++i) {
            arrived += Line(L"while open", i);
            Pipe().Offer(arrived.substr(arrived.size() - 100));
            PumpQueued();
        }
        arrived += L"status line while open\r\n";
        m_dlg.AppendLog(L"status line while open\r\n");
        PumpPending(300);
        const CString view = ViewText();
        EXPECT_EQ(view.compare(0, atClick.size(), atClick), 0) << "the view dropped text while the dialog was open";
        EXPECT_LE(view.size(), kCapacity) << "the view took more than its capacity";
        EXPECT_GT(view.size(), atClick.size()) << "text that fits must still be appended";
        EXPECT_FALSE(Pipe().Empty()) << "text that does not fit must wait";
    };
    ClickSave();
    ExpectSaved(atClick + arrived);
    ExpectTrimmingResumes(atClick + arrived, kCapacity);
}

INSTANTIATE_TEST_SUITE_P(Saving, SaveKeepsView, ::testing::Bool(), ConfirmedOrCancelled);

// A real client sends more than the pipe holds while the dialog is open: its connection pauses
// at the high-water mark, and once the save is over every frame is shown, in order.
class SaveKeepsViewWithAClient : public SaveKeepsView {
protected:
    SaveKeepsViewWithAClient() : SaveKeepsView(kClientCapacity) {}

    static constexpr size_t kClientCapacity = 100000;
};

TEST_P(SaveKeepsViewWithAClient, ReaderPausesAtTheHighWaterMarkAndNothingIsLost)
{
    const CString atClick = FillView(kClientCapacity);
    // 200 frames of 100 lines: twice as much as the pipe lets wait.
    std::string stream, text;
    for (int f = 0; f < 200; ++f) {
        std::string frame;
        for (int i = 0; i < 100; ++i)
            frame += Narrow(Line(L"frame", f * 100 + i));
        stream += Frame(frame);
        text += frame;
    }
    ASSERT_GT(text.size(), CPendingLog::kHighWater * 3 / 2);
    auto client = std::make_unique<LoopbackClient>(m_port);
    ASSERT_TRUE(client->Connected());
    std::atomic<int> sent{0}; // 1: sent, -1: failed
    std::unique_ptr<BackgroundLoop> sender;
    m_operator.m_whileOpen = [&] {
        sender = std::make_unique<BackgroundLoop>([&] {
            sent = client->Send(stream) ? 1 : -1;
            return false;
        });
        EXPECT_TRUE(PumpUntil([] { return Pipe().PausedCount() == 1; }, 60000)) << "the reader never paused";
        PumpPending(300);
        EXPECT_EQ(Pipe().PausedCount(), 1u) << "the reader must stay paused while the save keeps the view";
        EXPECT_EQ(ViewText().compare(0, atClick.size(), atClick), 0) << "the view dropped text";
    };
    ClickSave();
    // The file: the view at the click, then whole frames as they arrived, up to the pause.
    if (Confirms()) {
        const std::string file = FileText(*m_operator.m_answer);
        ASSERT_GE(file.size(), atClick.size() + CPendingLog::kHighWater);
        EXPECT_TRUE(file.compare(0, atClick.size(), Narrow(atClick)) == 0) << "the file lacks the view at the click";
        const std::string frames = file.substr(atClick.size());
        EXPECT_TRUE(text.compare(0, frames.size(), frames) == 0)
            << "the frames in the file are not those sent, in order";
        EXPECT_EQ(frames.size() % 10000, 0u) << "the file ends inside a frame";
    } else {
        ExpectSaved(L"");
    }
    // The send finishes only once the reader reads on.
    EXPECT_TRUE(PumpUntil([&] { return sent != 0; }, 120000)) << "the client's send never finished";
    sender.reset();
    EXPECT_EQ(sent, 1) << "the console dropped the client";
    ExpectTrimmingResumes(atClick + Widen(text), kClientCapacity);
}

INSTANTIATE_TEST_SUITE_P(Saving, SaveKeepsViewWithAClient, ::testing::Bool(), ConfirmedOrCancelled);

// The line breaks the view puts where a line runs on past its rows are the view's, not the
// senders': a save writes the text as it was sent.
class SaveSentText : public SavingConsoleFixture<> {
protected:
    SaveSentText() : SavingConsoleFixture(kCapacity) {}

    // Numbered words without a space or a line break between them: "数据0数据1数据2...".
    static CString Run(const wchar_t* word, size_t chars)
    {
        CString run;
        for (int i = 0; run.size() < chars; ++i)
            run += word + std::to_wstring(i);
        return run;
    }
    static std::string Cp936(const CString& text)
    {
        const int size =
            ::WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<size_t>(size), '\0');
        ::WideCharToMultiByte(936, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
        return bytes;
    }

    static constexpr size_t kCapacity = 60000;
};

// The view holds the newest rows of a run whose oldest rows were trimmed, ordinary lines and a
// second run; a third waits in the pipe at the click. The file holds all of it as sent, byte for
// byte in code page 936, without one of the view's own breaks.
TEST_F(SaveSentText, RunsTheViewBrokeIntoRowsAreSavedAsTheyWereSent)
{
    CString sent;
    const auto show = [&](const CString& text) {
        sent += text;
        m_dlg.AppendLog(text);
    };
    show(Run(L"数据", 50000));
    for (int i = 0; i < 200; ++i)
        show(L"第 " + std::to_wstring(i) + L" 行 line\r\n");
    show(Run(L"run", 12000));
    const CString waiting = Run(L"等待", 5000);
    Pipe().Offer(waiting);

    const CString view = ViewText();
    ASSERT_GT(m_dlg.View().Breaks().Count(), 100u) << "the runs were not broken into rows";
    // Where the view begins in the text sent: its first row stands there, and only there.
    const CString firstRow = view.substr(0, view.find(kViewBreak));
    const size_t start = sent.find(firstRow);
    ASSERT_NE(start, CString::npos) << "the view's first row was never sent";
    ASSERT_EQ(sent.find(firstRow, start + 1), CString::npos);
    ASSERT_GT(start, 0u) << "the view was not trimmed";
    ASSERT_LT(start, 50000u) << "the trim took all of the first run";

    m_operator.m_answer = m_dir.File(L"sent.txt");
    Click(IDC_SAVE_LOG);
    const std::string file = FileText(*m_operator.m_answer);
    const std::string expected = Cp936(sent.substr(start) + waiting);
    EXPECT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected) << "the file is not the text as sent";
    ExpectToldSaved(m_operator);
}

} // namespace
