// Long texts in a real console window: where a text without line breaks runs on past four rows
// of the view, the view ends each row itself, where the control would wrap it; it remembers
// those breaks across trims and forgets them at a clear; lines of up to four rows are left as
// they are; and a line longer than the view can spare is cut rather than emptying it.
#include <gtest/gtest.h>

#include <usp10.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "testkit/view_text.h"
#include "testkit/wait.h"

namespace {

// Where each CR LF stands in a text.
std::vector<size_t> CrLfPositions(const CString& text)
{
    std::vector<size_t> positions;
    for (size_t at = text.find(L"\r\n"); at != CString::npos; at = text.find(L"\r\n", at + 2))
        positions.push_back(at);
    return positions;
}

class LongText : public ConsoleFixture {
protected:
    LongText() : ConsoleFixture(kCapacity) {}

    void SetUp() override
    {
        ConsoleFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        // A second control as the view is, for how the control alone lays text out.
        HWND view = m_dlg.m_editLog.m_hWnd;
        RECT at;
        ::GetWindowRect(view, &at);
        ::MapWindowPoints(nullptr, m_dlg.m_hWnd, reinterpret_cast<POINT*>(&at), 2);
        const DWORD style = static_cast<DWORD>(::GetWindowLongW(view, GWL_STYLE)) & ~WS_VISIBLE;
        m_plain.m_hWnd = ::CreateWindowExW(static_cast<DWORD>(::GetWindowLongW(view, GWL_EXSTYLE)), L"Edit", L"", style,
                                           at.left, at.top, at.right - at.left, at.bottom - at.top, m_dlg.m_hWnd,
                                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_plain.m_hWnd, nullptr);
        m_plain.Send(WM_SETFONT, m_dlg.m_editLog.Send(WM_GETFONT), FALSE);
        m_plain.SetLimitText(0);
    }
    void TearDown() override { ::DestroyWindow(m_plain.m_hWnd); }

    // Where the control alone starts the rows of a text (after the first).
    std::vector<size_t> PlainRowStarts(const CString& text)
    {
        m_plain.SetWindowText(text.c_str());
        std::vector<size_t> starts;
        const auto lines = static_cast<int>(m_plain.Send(EM_GETLINECOUNT));
        for (int line = 1; line < lines; ++line)
            starts.push_back(static_cast<size_t>(m_plain.Send(EM_LINEINDEX, line)));
        return starts;
    }
    // How many rows the control alone shows a text in.
    LRESULT PlainRows(const CString& text)
    {
        m_plain.SetWindowText(text.c_str());
        return m_plain.Send(EM_GETLINECOUNT);
    }
    bool FitsOneRow(const CString& text) { return PlainRows(text) == 1; }

    // Offers a text to the pipe in frames of a few hundred characters, and waits until all of
    // it is in the view.
    void OfferInFrames(const CString& text)
    {
        for (size_t at = 0; at < text.size(); at += 397)
            Pipe().Offer(text.substr(at, 397));
        ASSERT_TRUE(PumpUntil([] { return Pipe().Empty(); }, 60000));
    }

    // Letters that never repeat within a few thousand, so that a cut shows where it fell.
    static CString Letters(size_t count, size_t from = 0)
    {
        CString text;
        for (size_t i = from; i < from + count; ++i)
            text += static_cast<wchar_t>(L'一' + i % 5000);
        return text;
    }

    static constexpr size_t kCapacity = 40000;
    CEdit m_plain;
};

struct RunKind {
    const char* name;
    const wchar_t* alphabet; // the run cycles through it
    bool wordBreaks;         // the control may end a row inside it, not only cut a word
};

class LongTextRuns : public LongText, public ::testing::WithParamInterface<RunKind> {
protected:
    static CString Make(const RunKind& run, size_t count)
    {
        const CString alphabet = run.alphabet;
        CString text;
        for (size_t i = 0; i < count; ++i)
            text += alphabet[(i * 7 + i / 3) % alphabet.size()];
        return text;
    }
};

// The view's rows are the rows the control would show: each holds on one row, each is as long
// as the control would make it (the next character, or the next word, would not fit), and a
// run of letters, where the control can only cut, is cut exactly where the control cuts it.
TEST_P(LongTextRuns, ARunWiderThanTheViewIsBrokenOnlyWhereTheControlWrapsIt)
{
    const RunKind& kind = GetParam();
    const CString run = Make(kind, 6000);
    OfferInFrames(run);
    const CString view = ViewText();
    const std::vector<CString> rows = RowsOf(view);
    ASSERT_GT(rows.size(), 20u) << "the run was not broken into rows";
    CString joined;
    for (const CString& row : rows)
        joined += row;
    ASSERT_EQ(joined, run) << "the view holds more or less than the run";
    EXPECT_EQ(m_dlg.View().Breaks().Positions(), CrLfPositions(view)) << "the view must know its own breaks";
    EXPECT_EQ(m_dlg.m_editLog.Send(EM_GETLINECOUNT), static_cast<LRESULT>(rows.size()))
        << "the control wrapped a row of the view's again";

    // Where the control may end a row, as it finds them in its whole text.
    std::vector<SCRIPT_LOGATTR> attributes(run.size());
    SCRIPT_ANALYSIS analysis = {};
    analysis.eScript = SCRIPT_UNDEFINED;
    ASSERT_EQ(::ScriptBreak(run.c_str(), static_cast<int>(run.size()), &analysis, attributes.data()), S_OK);
    size_t at = 0;
    for (size_t r = 0; r + 1 < rows.size(); ++r) {
        const size_t start = at;
        at += rows[r].size();
        EXPECT_TRUE(FitsOneRow(rows[r])) << "row " << r << " does not fit";
        // Without a word break in it, the control cuts the word where one character more would
        // still fit; else at the last word break before the next one, which would not fit.
        const bool cut = std::none_of(attributes.begin() + start + 1, attributes.begin() + at + 1,
                                      [](const SCRIPT_LOGATTR& a) { return a.fSoftBreak; });
        size_t next = at + 1;
        if (cut)
            ++next;
        else
            while (next < run.size() && !attributes[next].fSoftBreak)
                ++next;
        EXPECT_TRUE(cut || attributes[at].fSoftBreak) << "row " << r << " ends inside a word";
        EXPECT_FALSE(FitsOneRow(run.substr(start, next - start))) << "row " << r << " ends too early";
    }
    if (!kind.wordBreaks) {
        std::vector<size_t> ours;
        size_t sum = 0;
        for (size_t r = 0; r + 1 < rows.size(); ++r)
            ours.push_back(sum += rows[r].size());
        EXPECT_EQ(ours, PlainRowStarts(run)) << "the rows differ from the control's own";
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LongTextRuns,
                         ::testing::Values(RunKind{"Letters", L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                                   false},
                                           RunKind{"Digits", L"0123456789", false},
                                           RunKind{"Words", L"abcdefg hijklmnop qrstu vwxyz ", true},
                                           RunKind{"Chinese", L"日志服务启动成功正在侦听用户订单数据库连接失败", true},
                                           RunKind{"Mixed", L"订单 order 42 已启动，user=7 登录 ", true}),
                         [](const ::testing::TestParamInfo<RunKind>& info) { return std::string(info.param.name); });

// A run handed over a few characters at a time: each row ends where it would have, had the run come
// at once, also when the word to move down began in an earlier append.
TEST_F(LongText, ARunThatComesInPiecesEndsItsRowsAsTheWholeRunWould)
{
    CString run;
    while (run.size() < 1200)
        run += L"word" + std::to_wstring(run.size() % 97) + L" ";
    for (size_t at = 0; at < run.size(); at += 3)
        m_dlg.AppendLog(run.substr(at, 3));
    const CString piecewise = ViewText();
    Click(IDC_CLEAR_LOG);
    m_dlg.AppendLog(run);
    EXPECT_EQ(piecewise, ViewText());
    EXPECT_GT(RowsOf(piecewise).size(), 5u);
}

// Lines of up to four rows, of every length, in Chinese and in ASCII, with tabs: shown exactly
// as sent, for the control to wrap, with no break of the view's own.
TEST_F(LongText, LinesOfUpToFourRowsAreLeftAsTheyAre)
{
    CString lines;
    int wrapped = 0;
    for (int i = 0; i < 300; ++i) {
        CString line = L"第 " + std::to_wstring(i) + L" 行 line\t";
        line += CString(static_cast<size_t>(i * 7 % 180), i % 2 ? L'x' : L'中');
        const LRESULT rows = PlainRows(line);
        ASSERT_LE(rows, 4) << "line " << i << " takes more than four rows";
        wrapped += rows > 1;
        lines += line + (i % 3 ? L"\r\n" : L"\n");
    }
    ASSERT_GT(wrapped, 100);
    OfferInFrames(lines);
    EXPECT_EQ(ViewText(), lines);
    EXPECT_EQ(m_dlg.View().Breaks().Count(), 0u);
}

// The view's breaks stay where they stand in the text when its oldest text goes (the view then
// begins with a whole row), and go with a clear: the lines shown after it are theirs alone.
TEST_F(LongText, BreaksAreKeptRightAcrossTrimsAndForgottenAtAClear)
{
    CString sent;
    int trims = 0;
    for (int i = 0; i < 48; ++i) {
        const CString text = i % 3 == 2 ? L"line " + std::to_wstring(i) + L"\r\n" : Letters(2500, i * 2500);
        const size_t before = ViewLength();
        sent += text;
        m_dlg.AppendLog(text);
        trims += ViewLength() < before;
        const CString view = ViewText();
        const CString shown = m_dlg.View().SentText();
        ASSERT_EQ(sent.compare(sent.size() - shown.size(), shown.size(), shown), 0) << "after text " << i;
        for (const size_t at : m_dlg.View().Breaks().Positions())
            ASSERT_EQ(view.compare(at, 2, L"\r\n"), 0) << "a break the view knows of is not where it stands";
        ASSERT_EQ(m_dlg.View().Breaks().Count() + static_cast<size_t>(std::count(shown.begin(), shown.end(), L'\n')),
                  static_cast<size_t>(std::count(view.begin(), view.end(), L'\n')))
            << "the view lost count of its own breaks";
    }
    ASSERT_GT(trims, 1) << "the view was never trimmed";

    Click(IDC_CLEAR_LOG);
    EXPECT_EQ(m_dlg.View().Breaks().Count(), 0u);
    // Line breaks of the text sent right where the view's own stood before the clear.
    CString lines;
    while (lines.size() < 20000)
        lines += L"x\r\n";
    m_dlg.AppendLog(lines);
    EXPECT_EQ(m_dlg.View().SentText(), lines);
}

TEST_F(LongText, AnOverlongLineIsCutKeepingTheNewestThreeQuarters)
{
    CString all;
    size_t shortestAfterTrim = kCapacity;
    for (size_t i = 0; i < 3 * kCapacity / 1000; ++i) {
        const CString piece = Letters(1000, i * 1000);
        const size_t before = ViewLength();
        all += piece;
        m_dlg.AppendLog(piece);
        ASSERT_LE(ViewLength(), kCapacity);
        if (ViewLength() < before)
            shortestAfterTrim = std::min(shortestAfterTrim, ViewLength());
    }
    ASSERT_LT(shortestAfterTrim, kCapacity) << "the view was never trimmed";
    EXPECT_GE(shortestAfterTrim, kCapacity / 4 * 3 - 1100) << "a trim took more than a quarter";
    const CString shown = m_dlg.View().SentText();
    EXPECT_EQ(all.compare(all.size() - shown.size(), shown.size(), shown), 0) << "the view is not the newest text";
    const std::vector<CString> rows = RowsOf(ViewText());
    ASSERT_GT(rows.size(), 1u);
    EXPECT_FALSE(FitsOneRow(rows[0] + rows[1].substr(0, 2))) << "the view begins inside a row";
}

} // namespace
