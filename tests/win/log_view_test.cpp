#include <gtest/gtest.h>

#include "log/log_registry.h"
#include "pump.h"
#include "ui/zel_log_console_dlg.h"

namespace {

// A real console window, created modelessly so the test's own loop drives it.
class LogView : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dlg.Create());
        CLogRegistry::GetInstance()->m_pipe.Clear();
    }

    CString ViewText() const { return m_dlg.m_editLog.GetWindowText(); }
    void ClickClear() { m_dlg.Send(WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED), 0); }

    CZelLogConsoleDlg m_dlg;
};

TEST_F(LogView, RegistryPointsAtTheWindowsView)
{
    EXPECT_EQ(CLogRegistry::GetInstance(), CLogRegistry::GetInstance());
    EXPECT_EQ(CLogRegistry::GetInstance()->m_pLogEdit, &m_dlg.m_editLog);
}

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

TEST_F(LogView, AppendLandsAtTheEndAndDropsTheOperatorsSelection)
{
    m_dlg.AppendLog(L"0123456789");
    m_dlg.m_editLog.SetSel(2, 5);
    m_dlg.AppendLog(L"END");
    EXPECT_EQ(ViewText(), L"0123456789END");
    int start = -1, end = -1;
    m_dlg.m_editLog.GetSel(start, end);
    EXPECT_EQ(start, 13);
    EXPECT_EQ(end, 13);
}

TEST_F(LogView, EmptyAppendMovesTheCaretToTheEndAndChangesNoText)
{
    m_dlg.AppendLog(L"abc\r\ndef");
    m_dlg.m_editLog.SetSel(0, 0);
    m_dlg.AppendLog(L"");
    EXPECT_EQ(ViewText(), L"abc\r\ndef");
    int start = -1, end = -1;
    m_dlg.m_editLog.GetSel(start, end);
    EXPECT_EQ(start, 8);
    EXPECT_EQ(end, 8);
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
    CLogRegistry::GetInstance()->m_pipe.Offer(L"from a client\r\n");
    EXPECT_EQ(ViewText(), L"") << "queued text waits for the window's loop";
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == L"from a client\r\n"; }));
}

TEST_F(LogView, StatusLineComesAfterTextThatArrivedBeforeIt)
{
    CLogRegistry::GetInstance()->m_pipe.Offer(L"frame\r\n");
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
        CLogRegistry::GetInstance()->m_pipe.Offer(line);
    }
    ASSERT_TRUE(PumpUntil([&] { return CLogRegistry::GetInstance()->m_pipe.Empty(); }));
    EXPECT_EQ(ViewText(), expected);
}

TEST_F(LogView, ClearAlsoDropsTextNotYetShown)
{
    m_dlg.AppendLog(L"shown\r\n");
    CLogRegistry::GetInstance()->m_pipe.Offer(L"waiting\r\n");
    ClickClear();
    PumpPending();
    EXPECT_EQ(ViewText(), L"");
    CLogRegistry::GetInstance()->m_pipe.Offer(L"later\r\n");
    ASSERT_TRUE(PumpUntil([&] { return ViewText() == L"later\r\n"; }));
}

} // namespace
