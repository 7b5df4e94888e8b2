// Long texts in a real console window: where a line is wider than the view, the view ends each
// row itself where the control would wrap it a margin narrower, so that the control wraps none
// again; lines that fit are left as they are; the view remembers its breaks across trims and
// forgets them at a clear; a copy gives the text as sent; and a line longer than the view can
// spare is cut rather than emptying it.
#include <gtest/gtest.h>

#include <usp10.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console_fixture.h"
#include "testkit/case_table.h"
#include "testkit/view_text.h"
#include "testkit/wait.h"

namespace {

// Where each of the view's own breaks stands in a text.
std::vector<size_t> ViewBreakPositions(const CString& text)
{
    std::vector<size_t> positions;
    for (size_t at = text.find(kViewBreak); at != CString::npos; at = text.find(kViewBreak, at + 1))
        positions.push_back(at);
    return positions;
}

// Where a place in the view stands in the text as sent: one inside a break of the view's, where
// the break stands.
size_t SentPosition(const CString& view, size_t at)
{
    size_t sent = AsSent(view.substr(0, at)).size();
    for (size_t back = 1; back < kViewBreak.size() && back <= at; ++back)
        if (view.compare(at - back, kViewBreak.size(), kViewBreak) == 0)
            sent -= back;
    return sent;
}

// The clipboard's text, or "(none)".
CString ClipboardText()
{
    CString text = L"(none)";
    if (!::OpenClipboard(nullptr))
        return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(::GlobalLock(data));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return text;
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
        // The plain control lays rows out in the width the view plans its rows in: its own less
        // two average characters (of the Latin letters, as dialog units take them).
        const HDC dc = ::GetDC(m_plain.m_hWnd);
        const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(m_plain.Send(WM_GETFONT)));
        SIZE letters = {};
        ::GetTextExtentPoint32W(dc, L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &letters);
        ::SelectObject(dc, old);
        ::ReleaseDC(m_plain.m_hWnd, dc);
        RECT format = {};
        m_plain.Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        m_fullWidth = format.right - format.left;
        SetPlainWidth(m_fullWidth - 2 * ((letters.cx / 26 + 1) / 2));
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
    // The plain control's formatting rectangle `width` pixels wide. The control takes its edge
    // and margins off the rectangle it is given: what it takes is given back.
    void SetPlainWidth(int width)
    {
        RECT format = {};
        m_plain.Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        const LONG left = format.left;
        RECT given = {left, format.top, left + width, format.bottom};
        for (int tries = 0; tries < 3; ++tries) {
            m_plain.Send(EM_SETRECTNP, 0, reinterpret_cast<LPARAM>(&given));
            RECT now = {};
            m_plain.Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&now));
            if (now.left == left && now.right == left + width)
                return;
            given.left += left - now.left;
            given.right += left + width - now.right;
        }
        ADD_FAILURE() << "the plain control's rows are not " << width << " pixels wide";
    }
    // How many rows the control shows a text in at the view's whole width.
    LRESULT PlainRowsAtFullWidth(const CString& text)
    {
        RECT format = {};
        m_plain.Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
        const int planned = format.right - format.left;
        SetPlainWidth(m_fullWidth);
        const LRESULT rows = PlainRows(text);
        SetPlainWidth(planned);
        return rows;
    }

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
    int m_fullWidth = 0;
};

struct RunKind {
    const char* name;
    const wchar_t* alphabet; // the run cycles through it
    bool wordBreaks;         // the control may end a row inside it, not only cut a word
    // Whether the rows must be exactly the control's: characters outside the font the control
    // draws from fallback fonts, a little narrower than the font's own measure says, which the
    // margin covers.
    bool exact = true;
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

// The view's rows are the rows the control would show a margin narrower: each holds on one row
// of that width, each is as long as the control would make it there (the next character, or the
// next word, would not fit), a run of letters is cut exactly where the control cuts it, and the
// view's own control wraps none of them again.
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
    EXPECT_EQ(AsSent(view), run);
    EXPECT_EQ(m_dlg.View().Breaks().Positions(), ViewBreakPositions(view)) << "the view must know its own breaks";
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
    if (!kind.wordBreaks && kind.exact) {
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
                                           RunKind{"Tabs", L"key=value\tcount=42\t", true},
                                           RunKind{"Pairs",
                                                   L"a\xD83D\xDE00"
                                                   L"b\xD840\xDC00"
                                                   L"c",
                                                   false, false},
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

// Lines of one, two, five and many rows, in Chinese and in ASCII, with tabs: those that fit the
// whole width are left exactly as sent; the rows of the others are the view's; the control wraps
// none; and the text as sent is all there.
TEST_F(LongText, LinesThatFitAreLeftAndTheRowsOfWiderOnesAreEnded)
{
    CString lines;
    std::vector<CString> sent;
    for (int i = 0; i < 200; ++i) {
        CString line = L"第 " + std::to_wstring(i) + L" 行 line\t";
        line += CString(static_cast<size_t>(i * 7 % 180 + (i % 20 == 0 ? 800 : 0)), i % 2 ? L'x' : L'中');
        if (i % 4 == 1)
            line += L" {\"trace\": \"4bf92f3577b34da6a3ce929d0e0e4736\", \"user\": 7}";
        sent.push_back(line);
        lines += line + (i % 3 ? L"\r\n" : L"\n");
    }
    OfferInFrames(lines);
    const CString view = ViewText();
    ASSERT_EQ(AsSent(view), lines);
    // Where the line that starts at `from` ends: at the next LF that ends no row of the view's.
    const auto lineEnd = [&](size_t from) {
        size_t end = view.find(L'\n', from);
        while (end != CString::npos && end >= 2 && view.compare(end - 2, kViewBreak.size(), kViewBreak) == 0)
            end = view.find(L'\n', end + 1);
        return end;
    };
    int wide = 0;
    size_t at = 0;
    for (const CString& line : sent) {
        const bool fits = PlainRowsAtFullWidth(line) == 1;
        const size_t end = lineEnd(at);
        ASSERT_NE(end, CString::npos);
        EXPECT_EQ(fits, view.substr(at, end - at).find(kViewBreak) == CString::npos) << "line " << line.substr(0, 12);
        wide += !fits;
        at = end + 1;
    }
    EXPECT_GT(wide, 60);
    EXPECT_EQ(m_dlg.m_editLog.Send(EM_GETLINECOUNT),
              static_cast<LRESULT>(std::count(view.begin(), view.end(), L'\n') + 1))
        << "the control wrapped a row again";
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
            ASSERT_EQ(view.compare(at, kViewBreak.size(), kViewBreak), 0)
                << "a break the view knows of is not where it stands";
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

// A copy from the view, of a selection across a broken line, from inside one, or of the whole
// view, puts the text as sent on the clipboard; so does a cut, which takes nothing from the view.
TEST_F(LongText, ACopyGivesTheTextAsSent)
{
    const CString lines = L"first line\r\n" + Letters(700) + L"\r\nsecond\nthird " + CString(400, L'w') + L" end\r\n";
    OfferInFrames(lines);
    const CString view = ViewText();
    ASSERT_GT(m_dlg.View().Breaks().Count(), 3u);
    const size_t firstBreak = m_dlg.View().Breaks().Positions().front();
    struct Selection {
        const char* name;
        size_t from, to; // in the view
        UINT message;
    };
    const Selection selections[] = {
        {"across a broken line", 3, view.size() - 5, WM_COPY},
        {"from inside a row's end", firstBreak + 1, firstBreak + 40, WM_COPY},
        {"to inside a row's end", firstBreak - 30, firstBreak + 2, WM_COPY},
        {"all of it", 0, view.size(), WM_COPY},
        {"a cut", 0, view.size(), WM_CUT},
    };
    ForEachCase(selections, [&](const Selection& s) {
        m_dlg.m_editLog.SetSel(static_cast<int>(s.from), static_cast<int>(s.to));
        m_dlg.m_editLog.Send(s.message);
        const size_t sentFrom = SentPosition(view, s.from);
        const size_t sentTo = SentPosition(view, s.to);
        EXPECT_EQ(ClipboardText(), lines.substr(sentFrom, sentTo - sentFrom));
    });
    EXPECT_EQ(ViewText(), view) << "a cut took text from the view";

    // Ctrl+C as the operator presses it, with the focus in the view.
    ::SetFocus(m_dlg.m_editLog.m_hWnd);
    m_dlg.m_editLog.SetSel(0, -1);
    m_dlg.m_editLog.Send(WM_CHAR, 3, 0);
    EXPECT_EQ(ClipboardText(), lines);
}
