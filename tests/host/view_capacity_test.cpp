#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/view_breaks.h"
#include "log/view_capacity.h"
#include "log/view_rows.h"
#include "log/text_cut.h"
#include "testkit/case_table.h"
#include "testkit/view_text.h"

namespace {

// Lines of `width` characters (CR LF included), numbered so that a cut shows where it fell.
std::wstring Lines(int count, size_t width)
{
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        std::wstring line = std::to_wstring(i);
        line.resize(width - 2, L'.');
        text += line + L"\r\n";
    }
    return text;
}

TEST(ViewCapacity, NothingGoesWhileTheAppendFits)
{
    const std::wstring view = Lines(10, 10);
    EXPECT_EQ(OldestLinesToTrim(view, 0, 100), 0u);
    EXPECT_EQ(OldestLinesToTrim(view.substr(0, 90), 10, 100), 0u) << "exactly at the capacity";
    EXPECT_EQ(OldestLinesToTrim(L"", 100, 100), 0u);
}

TEST(ViewCapacity, PassingTheCapacityRemovesOldestWholeLinesDownToTheTrimmedSize)
{
    const std::wstring view = Lines(10, 10); // 100 characters
    // 100 + 1 passes 100; at least 26 must go to come to 75, so three whole lines (30) go.
    const size_t cut = OldestLinesToTrim(view, 1, 100);
    EXPECT_EQ(cut, 30u);
    EXPECT_EQ(view.substr(cut, 1), L"3") << "the view must go on at the start of a line";
    EXPECT_LE(view.size() - cut + 1, 75u);
}

TEST(ViewCapacity, CutsOnlyAfterALineEnd)
{
    // The character that must go last is itself the line's '\n', the one before it, and the
    // first character of the next line.
    const std::wstring view = Lines(10, 10);
    EXPECT_EQ(OldestLinesToTrim(view, 5, 100), 30u); // 30 must go: up to a line end exactly
    EXPECT_EQ(OldestLinesToTrim(view, 4, 100), 30u); // 29 must go: the '\n' goes with its line
    EXPECT_EQ(OldestLinesToTrim(view, 6, 100), 40u); // 31 must go: all of the next line too
}

TEST(ViewCapacity, LinesOfAnyLengthAndBareLineFeeds)
{
    const std::wstring view = std::wstring(30, L'a') + L"\n" + std::wstring(5, L'b') + L"\n" + std::wstring(64, L'c');
    ASSERT_EQ(view.size(), 101u);
    EXPECT_EQ(OldestLinesToTrim(view, 0, 100), 31u) << "one line is enough";
    EXPECT_EQ(OldestLinesToTrim(view, 6, 100), 37u) << "two lines when one is not";
}

// A line far longer than the room needed is cut, at a safe place, so that the newest three
// quarters stay rather than the whole view going.
TEST(ViewCapacity, AnOverlongOldestLineIsCutKeepingTheNewestThreeQuarters)
{
    const std::wstring unended = Lines(2, 10) + std::wstring(80, L'x');
    EXPECT_EQ(OldestLinesToTrim(unended, 10, 100), 35u) << "exactly what must go";
    const std::wstring oneLine(1000, L'y');
    EXPECT_EQ(OldestLinesToTrim(oneLine, 1, 1000), 251u);
    // Not inside a surrogate pair, nor between CR and LF.
    std::wstring pairs;
    while (pairs.size() < 1000)
        pairs += L"\xD83D\xDE00";
    const size_t cut = OldestLinesToTrim(pairs, 1, 1000);
    EXPECT_EQ(cut % 2, 0u) << "the cut split a character";
    EXPECT_LE(cut, 252u);
    // A line end just a little later than needed is still where the cut goes.
    const std::wstring lateEnd = std::wstring(300, L'z') + L"\r\n" + std::wstring(698, L'z');
    EXPECT_EQ(OldestLinesToTrim(lateEnd, 1, 1000), 302u);
}

TEST(ViewCapacity, TheWholeViewGoesOnlyWhenTheIncomingTextFillsIt)
{
    const std::wstring view = Lines(10, 10);
    EXPECT_EQ(OldestLinesToTrim(view, 75, 100), view.size());
    EXPECT_EQ(OldestLinesToTrim(view, 500, 100), view.size());
    EXPECT_EQ(OldestLinesToTrim(view, 60, 100), 90u);
}

TEST(ViewCapacity, ATrimLeavesRoomForAQuarterOfTheCapacity)
{
    // The view at its fullest, one small append after another: each trim must come seldom.
    std::wstring view;
    const std::wstring line = Lines(1, 100);
    int trims = 0;
    for (int i = 0; i < 100000; ++i) {
        const size_t cut = OldestLinesToTrim(view, line.size(), 100000);
        if (cut) {
            ++trims;
            view.erase(0, cut);
            EXPECT_LE(view.size() + line.size(), 75000u);
        }
        view += line;
        ASSERT_LE(view.size(), 100000u);
    }
    // 10 M characters through a 100,000-character view, freeing 25,000 at a time.
    EXPECT_GE(trims, 390);
    EXPECT_LE(trims, 400);
}

} // namespace

// ---- The rows the view ends itself, and the breaks it keeps ----

namespace {

// A control 100 pixels wide: characters 10 pixels, 'i' 4, CJK 20; a row may end after spaces
// (a run of them) and around CJK characters; tab stops every 40.
class FakeMeasure : public CRowMeasure {
public:
    int RowWidth() const override { return 100; }
    int RowMargin() const override { return margin; }
    int TabWidth() const override { return 40; }
    void Widths(std::wstring_view text, int* widths) override
    {
        for (size_t i = 0; i < text.size(); ++i)
            widths[i] = text[i] == L'i' ? 4 : text[i] >= 0x4E00 && text[i] < 0xA000 ? 20 : 10;
    }
    void SoftBreaks(std::wstring_view text, unsigned char* breaks) override
    {
        for (size_t i = 0; i < text.size(); ++i) {
            const bool cjk = text[i] >= 0x4E00 && text[i] < 0xA000;
            const bool afterCjk = i > 0 && text[i - 1] >= 0x4E00 && text[i - 1] < 0xA000;
            breaks[i] = i > 0 && ((text[i - 1] == L' ' && text[i] != L' ') || cjk || afterCjk);
        }
        ++breakCalls;
    }
    int breakCalls = 0;
    int margin = 0;
};

// The view as the plans build it: each append replaces the end of the last row.
struct FakeView {
    CString text;
    CViewRows rows;
    CViewBreaks breaks;
    FakeMeasure measure;

    CViewRows::Append Append(const CString& sent)
    {
        CViewRows::Append plan = rows.Plan(sent, measure);
        const size_t start = text.size() - plan.replaced;
        text.replace(start, plan.replaced, plan.Text(sent));
        for (const size_t at : plan.breaks)
            breaks.Add(start + at);
        CViewRows::Append copy = plan;
        rows.Commit(std::move(plan));
        return copy;
    }
    CString Sent() const
    {
        CString sent = text;
        breaks.RemoveFrom(sent);
        return sent;
    }
};

TEST(ViewRows, CharactersFitUpToTheRowsWidthWithTabsReachingTheirStops)
{
    const std::vector<int> tens(20, 10);
    EXPECT_EQ(CharsThatFit(std::wstring(20, L'a'), tens.data(), 100, 40), 10u);
    EXPECT_EQ(CharsThatFit(std::wstring(10, L'a'), tens.data(), 100, 40), 10u) << "exactly the width fits";
    EXPECT_EQ(CharsThatFit(L"", tens.data(), 100, 40), 0u);
    // a (10), tab to 40, b (50), tab to 80, c (90), d (100), e passes.
    EXPECT_EQ(CharsThatFit(L"a\tb\tcde", tens.data(), 100, 40), 6u);
    const std::vector<int> wide = {120, 10};
    EXPECT_EQ(CharsThatFit(L"Wx", wide.data(), 100, 40), 0u) << "a character wider than the row";
}

// Where no word break is: one character short of what fits, as Wine's control cuts; at least
// one; never between the halves of a surrogate pair. Else after the last word break that fits.
TEST(ViewRows, ARowEndsAtItsLastWordBreakOrIsCutOneCharacterShort)
{
    const std::vector<unsigned char> none(20, 0);
    EXPECT_EQ(RowEnd(std::wstring(20, L'a'), 10, none.data()), 9u);
    EXPECT_EQ(RowEnd(std::wstring(20, L'a'), 0, none.data()), 1u);
    EXPECT_EQ(RowEnd(std::wstring(20, L'a'), 1, none.data()), 1u);
    const std::wstring pairs = L"abcdefgh\xD83D\xDE00zz";
    EXPECT_EQ(RowEnd(pairs, 10, none.data()), 8u) << "the cut split a surrogate pair";

    // "abc def ghi": a row may end before d (4) and before g (8).
    std::vector<unsigned char> words(11, 0);
    words[4] = words[8] = 1;
    EXPECT_EQ(RowEnd(L"abc def ghi", 6, words.data()), 4u);
    EXPECT_EQ(RowEnd(L"abc def ghi", 8, words.data()), 8u) << "a word break right where the fit ends";
    EXPECT_EQ(RowEnd(L"abc def ghi", 3, words.data()), 2u) << "no word break within what fits";
}

TEST(ViewRows, LinesThatFitAreLeftAsTheyCame)
{
    FakeView view;
    const CString lines = L"short line\r\nten chars!\r\n\r\niiiiiiiiiiiiiiiiiiiiiiiii\nlast";
    const CViewRows::Append plan = view.Append(lines);
    EXPECT_EQ(plan.replaced, 0u);
    EXPECT_TRUE(plan.asSent);
    EXPECT_EQ(view.text, lines);
    EXPECT_TRUE(plan.breaks.empty());
    EXPECT_EQ(view.rows.RowChars(), 4u) << "the last row is the unfinished line";
    EXPECT_EQ(view.measure.breakCalls, 0) << "lines that fit need no word breaks";
}

// A line wider than a row has each of its rows ended by the view, with tabs, CJK and surrogate
// pairs among them; the rows it showed before the line grew past a row are ended too.
TEST(ViewRows, EveryRowOfALineWiderThanARowIsEndedAndFits)
{
    const CString pair = L"\xD83D\xDE00"; // one character of two units, 20 pixels here
    struct RowCase {
        const char* name;
        CString line;
        size_t rows;
    };
    const RowCase cases[] = {
        {"one row", CString(10, L'a'), 1},
        {"two rows", CString(15, L'b'), 2},
        {"six rows of words", L"one two three four five six seven eight nine ten", 6},
        {"tabs", L"a\tb\tc\td\te\tf\tg\th", 4},
        {"CJK", CString(23, L'日'), 5},
        {"surrogate pairs", pair + pair + pair + pair + pair + pair + pair + pair + pair + pair + pair + pair, 3},
        {"many rows", CString(1000, L'x'), 111},
    };
    ForEachCase(cases, [](const RowCase& c) {
        FakeView view;
        view.Append(c.line + L"\r\n");
        const std::vector<std::wstring> rows = RowsOf(view.text);
        EXPECT_EQ(rows.size(), c.rows);
        EXPECT_EQ(view.breaks.Count(), c.rows - 1);
        EXPECT_EQ(view.Sent(), c.line + L"\r\n");
        for (const std::wstring& row : rows) {
            const std::wstring shown = row.substr(0, row.find(L"\r\n"));
            std::vector<int> widths(shown.size());
            view.measure.Widths(shown, widths.data());
            EXPECT_EQ(CharsThatFit(shown, widths.data(), 100, 40), shown.size()) << "a row wider than the view";
            EXPECT_FALSE(!shown.empty() && IsLowSurrogate(shown.front())) << "a row begins inside a pair";
        }
    });

    // A line coming a character at a time: once it passes a row, the row it showed whole gives
    // way to a row the view ends.
    const CString five = CString(38, L'g') + L"\r\n";
    FakeView once;
    const CViewRows::Append plan = once.Append(five);
    EXPECT_EQ(plan.text, L"ggggggggg\r\r\nggggggggg\r\r\nggggggggg\r\r\nggggggggg\r\r\ngg\r\n");
    EXPECT_EQ(plan.breaks, (std::vector<size_t>{9, 21, 33, 45}));
    FakeView slow;
    size_t replaced = 0;
    for (const wchar_t c : five)
        replaced += slow.Append(CString(1, c)).replaced;
    EXPECT_EQ(slow.text, plan.text);
    EXPECT_EQ(replaced, 4u) << "the character of each row past its end, shown before the row ended";
    EXPECT_EQ(slow.Sent(), five);
}

// With a margin, a line that fits the whole width is left as it came; the rows the view ends of a
// wider one fit the narrower width, all of them, in pieces as at once.
TEST(ViewRows, TheRowsOfAWideLineFitInsideTheMargin)
{
    FakeView view;
    view.measure.margin = 20;
    EXPECT_TRUE(view.Append(CString(10, L'a') + L"\r\n").asSent) << "a line of the whole width";
    view.Append(CString(20, L'b') + L"\r\n");
    EXPECT_EQ(view.text, CString(10, L'a') + L"\r\n" + L"bbbbbbb\r\r\nbbbbbbb\r\r\nbbbbbb\r\n");

    FakeView pieces;
    pieces.measure.margin = 20;
    for (const wchar_t c : CString(20, L'b'))
        pieces.Append(CString(1, c));
    EXPECT_EQ(pieces.text, L"bbbbbbb\r\r\nbbbbbbb\r\r\nbbbbbb");
}

TEST(ViewRows, ARunOfLettersIsCutOneCharacterShortOfEachFullRow)
{
    FakeView view;
    view.Append(CString(95, L'x'));
    const std::vector<std::wstring> rows = RowsOf(view.text);
    ASSERT_EQ(rows.size(), 11u);
    for (size_t r = 0; r + 1 < rows.size(); ++r)
        EXPECT_EQ(rows[r], std::wstring(9, L'x'));
    EXPECT_EQ(rows.back(), std::wstring(5, L'x'));
    EXPECT_EQ(view.breaks.Count(), 10u);
    EXPECT_EQ(view.Sent(), CString(95, L'x'));
    EXPECT_EQ(view.measure.breakCalls, 0) << "letters need no word breaks";
}

// The same text in pieces of every size gives the view the same rows, also where a row that
// began in an earlier piece ends at a word break inside that piece: what it had shown of the
// word gives way to the row's end and goes down with the rest of the word.
TEST(ViewRows, PiecesOfAnySizeMakeTheSameRowsAsTheWholeText)
{
    CString whole;
    for (int i = 0; whole.size() < 600; ++i)
        whole += (i % 5 == 4 ? L"日志 " : L"word") + std::to_wstring(i) + (i % 7 ? L" " : L"\tx\r\n");
    FakeView once;
    once.Append(whole);
    ASSERT_GT(once.breaks.Count(), 10u);
    bool replacedAny = false;
    for (const size_t piece : {1u, 2u, 3u, 7u, 50u}) {
        FakeView pieces;
        for (size_t at = 0; at < whole.size(); at += piece)
            replacedAny |= pieces.Append(whole.substr(at, piece)).replaced > 0;
        EXPECT_EQ(pieces.text, once.text) << "pieces of " << piece;
        EXPECT_EQ(pieces.breaks.Positions(), once.breaks.Positions()) << "pieces of " << piece;
        EXPECT_EQ(pieces.Sent(), whole);
    }
    EXPECT_TRUE(replacedAny) << "no row ended inside an earlier piece";
    for (const std::wstring& rows : RowsOf(once.text)) {
        for (size_t from = 0, end = 0; end != std::wstring::npos; from = end + 2) {
            end = rows.find(L"\r\n", from);
            const std::wstring row = rows.substr(from, end == std::wstring::npos ? end : end - from);
            std::vector<int> widths(row.size());
            once.measure.Widths(row, widths.data());
            EXPECT_EQ(CharsThatFit(row, widths.data(), 100, 40), row.size()) << "a row wider than the view";
        }
    }
}

// A CR at the end of a piece may be the start of a CR LF: the view never breaks between them,
// nor counts the CR of a line break into its row.
TEST(ViewRows, NoBreakComesBetweenCrAndLf)
{
    FakeView view; // rows of exactly the view's width, which a CR more would pass
    view.Append(CString(10, L'a') + L"\r");
    view.Append(L"\n" + CString(10, L'b') + L"\r");
    view.Append(L"\nc");
    EXPECT_EQ(view.text, CString(10, L'a') + L"\r\n" + CString(10, L'b') + L"\r\nc");
    EXPECT_EQ(view.breaks.Count(), 0u);
}

TEST(ViewRows, WhatATrimLeavesOfTheLastRowIsAllThatStaysOfIt)
{
    FakeView view;
    view.Append(L"12345");
    view.rows.Trimmed(100);
    EXPECT_EQ(view.rows.RowChars(), 5u);
    view.rows.Trimmed(3);
    EXPECT_EQ(view.rows.RowChars(), 3u);
    view.rows.Clear();
    EXPECT_EQ(view.rows.RowChars(), 0u);
}

TEST(ViewBreaks, BreaksMoveWithATrimAndGoWithTheTextTheyStoodIn)
{
    CViewBreaks breaks;
    for (const size_t at : {10u, 30u, 50u})
        breaks.Add(at);
    EXPECT_TRUE(breaks.At(30));
    EXPECT_FALSE(breaks.At(31));
    breaks.Trimmed(12);
    EXPECT_EQ(breaks.Positions(), (std::vector<size_t>{18, 38}));
    EXPECT_TRUE(breaks.At(18));
    EXPECT_FALSE(breaks.At(30));
    breaks.Add(40);
    breaks.Trimmed(18); // the cut falls right before a break's CR: it stays, at the view's start
    EXPECT_EQ(breaks.Positions(), (std::vector<size_t>{0, 20, 22}));
    breaks.Clear();
    EXPECT_EQ(breaks.Count(), 0u);
    breaks.Add(5);
    EXPECT_EQ(breaks.Positions(), (std::vector<size_t>{5})) << "a clear starts the count afresh";
}

// The whole view, and any part of it that a selection takes, also one that starts or ends inside
// a break of the view's: the text as sent, the line ends sent (CR LF and a lone LF) kept.
TEST(ViewBreaks, RemovingThemGivesBackTheTextAsSent)
{
    CViewBreaks breaks;
    const CString view = L"abc\r\r\ndef\r\r\ngh\r\nij\n";
    breaks.Add(3);
    breaks.Add(9);
    CString whole = view;
    breaks.RemoveFrom(whole);
    EXPECT_EQ(whole, L"abcdefgh\r\nij\n") << "only the view's own breaks go";

    struct Range {
        size_t from, to;
        const wchar_t* sent;
    };
    const Range ranges[] = {
        {0, view.size(), L"abcdefgh\r\nij\n"},
        {1, 8, L"bcde"},       // across a break
        {4, 8, L"de"},         // from inside a break
        {2, 5, L"c"},          // to inside a break
        {3, 6, L""},           // a break alone
        {10, 18, L"gh\r\nij"}, // from inside a break, a line end sent
        {7, 7, L""},
    };
    ForEachCase(ranges, [&](const Range& r) { EXPECT_EQ(breaks.SentText(view, r.from, r.to), r.sent); });

    CString moved = L"\r\r\nxyz";
    CViewBreaks stale;
    stale.Add(2);
    stale.Add(40);
    stale.RemoveFrom(moved);
    EXPECT_EQ(moved, L"\r\r\nxyz") << "a position that holds no break, or none at all, is left alone";
}

// A line the view broke into rows is one line to the trim: the cut comes after its end, not
// after one of its rows.
TEST(ViewCapacity, TheViewsOwnBreaksEndNoLine)
{
    // 330 characters in rows of 11 (8 + the view's break), then a line end, then 665 more.
    std::wstring view;
    CViewBreaks breaks;
    for (int row = 0; row < 30; ++row) {
        view += std::wstring(8, L'r');
        breaks.Add(view.size());
        view += kViewBreak;
    }
    view += L"end\r\n";
    const size_t lineEnd = view.size();
    view += std::wstring(1000 - view.size(), L'n');
    ASSERT_EQ(OldestLinesToTrim(view, 1, 1000), 253u) << "without the breaks, a row's end would do";
    EXPECT_EQ(OldestLinesToTrim(view, 1, 1000, &breaks), lineEnd);
}

} // namespace
