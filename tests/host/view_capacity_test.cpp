#include <gtest/gtest.h>

#include <string>

#include "log/view_capacity.h"

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
