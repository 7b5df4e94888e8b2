#include <gtest/gtest.h>

#include "console_fixture.h"

namespace {

class LogView : public ConsoleFixture {
protected:
    void ClickClear() { Click(IDC_CLEAR_LOG); }
};

TEST_F(LogView, AppendToEmptyViewMakesTheWholeContent)
{
    m_dlg.AppendLog(L"第一行\r\n");
    EXPECT_EQ(ViewText(), L"第一行\r\n");
}

TEST_F(LogView, AppendsWithoutLineBreaksShareOneLine)
{
    m_dlg.AppendLog(L"a");
    m_dlg.AppendLog(L"b");
    EXPECT_EQ(ViewText(), L"ab");
    EXPECT_EQ(m_dlg.m_editLog.Send(EM_GETLINECOUNT), 1);
}

// Whatever the operator selected, an append lands at the end and leaves the caret there; an
// empty one changes no text.
TEST_F(LogView, AppendLandsAtTheEndAndDropsTheOperatorsSelection)
{
    struct {
        const wchar_t* before;
        int selStart, selEnd;
        const wchar_t* appended;
        const wchar_t* after;
    } const cases[] = {{L"0123456789", 2, 5, L"END", L"0123456789END"}, {L"abc\r\ndef", 0, 0, L"", L"abc\r\ndef"}};
    for (const auto& c : cases) {
        ClickClear();
        m_dlg.AppendLog(c.before);
        m_dlg.m_editLog.SetSel(c.selStart, c.selEnd);
        m_dlg.AppendLog(c.appended);
        EXPECT_EQ(ViewText(), c.after);
        const int end = static_cast<int>(CString(c.after).size());
        EXPECT_EQ(Selection(), std::make_pair(end, end)) << "after appending to " << CString(c.before).size();
    }
}

TEST_F(LogView, ClearThenAppendLeavesOnlyTheNewText)
{
    m_dlg.AppendLog(L"old\r\n");
    ClickClear();
    EXPECT_EQ(ViewText(), L"");
    m_dlg.AppendLog(L"new");
    EXPECT_EQ(ViewText(), L"new");
}

TEST_F(LogView, HundredThousandCharactersAreAllKept)
{
    CString big;
    for (int i = 0; big.size() < 100000; ++i)
        big += L"line " + std::to_wstring(i) + L" 日志\r\n";
    m_dlg.AppendLog(big);
    m_dlg.AppendLog(L"tail");
    EXPECT_EQ(m_dlg.m_editLog.GetWindowTextLength(), static_cast<int>(big.size() + 4));
    EXPECT_EQ(ViewText(), big + L"tail");
}

TEST_F(LogView, QueuedTextReachesTheViewThroughTheMessageLoop)
{
    Pipe().Offer(L"from a client\r\n");
    EXPECT_EQ(ViewText(), L"") << "queued text waits for the window's loop";
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == L"from a client\r\n"; }));
}

TEST_F(LogView, StatusLineComesAfterTextThatArrivedBeforeIt)
{
    Pipe().Offer(L"frame\r\n");
    m_dlg.AppendLog(L"status\r\n");
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == L"frame\r\nstatus\r\n"; }));
    PumpPending();
    EXPECT_EQ(ViewText(), L"frame\r\nstatus\r\n") << "a flush must not show the frame twice";
}

TEST_F(LogView, ManyQueuedTextsArriveWholeAndInOrder)
{
    CString expected;
    for (int i = 0; i < 20000; ++i) {
        CString line = L"frame " + std::to_wstring(i) + L"\r\n";
        expected += line;
        Pipe().Offer(line);
    }
    ASSERT_TRUE(PumpUntil([&] { return Pipe().Empty(); }));
    EXPECT_EQ(ViewText(), expected);
}

TEST_F(LogView, ClearAlsoDropsTextNotYetShown)
{
    m_dlg.AppendLog(L"shown\r\n");
    Pipe().Offer(L"waiting\r\n");
    ClickClear();
    PumpPending();
    EXPECT_EQ(ViewText(), L"");
    Pipe().Offer(L"later\r\n");
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == L"later\r\n"; }));
}

} // namespace
