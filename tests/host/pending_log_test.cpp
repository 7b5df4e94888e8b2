#include <gtest/gtest.h>

#include <algorithm>

#include "log/pending_log.h"
#include "log/thread_turns.h"
#include "testkit/case_table.h"

namespace {

// Takes slices until `chars` characters have come out, however many slices that takes.
CString TakeChars(CPendingLog& pending, size_t chars)
{
    CString taken;
    while (taken.size() < chars && !pending.Empty())
        taken += pending.TakeSlice(chars - taken.size());
    return taken;
}

// Everything taken slice by slice: the text, how many slices, the largest.
struct Drained {
    CString text;
    int slices = 0;
    size_t largest = 0;
};

Drained Drain(CPendingLog& pending)
{
    Drained drained;
    while (!pending.Empty()) {
        const CString s = pending.TakeSlice();
        if (s.empty())
            break; // a slice must always carry something; the caller's checks then fail
        drained.text += s;
        ++drained.slices;
        drained.largest = std::max(drained.largest, s.size());
    }
    return drained;
}

// Lines of 100 characters, CR LF included, numbered.
CString Lines(int count)
{
    CString text;
    for (int i = 0; i < count; ++i) {
        CString line = std::to_wstring(i) + L" ";
        line.resize(98, L'.');
        text += line + L"\r\n";
    }
    return text;
}

TEST(PendingLog, OnlyTheFirstTextIntoAnEmptyQueueAsksForAFlush)
{
    CPendingLog pending;
    EXPECT_TRUE(pending.Add(L"a"));
    EXPECT_FALSE(pending.Add(L"b"));
    EXPECT_EQ(TakeChars(pending, 2), L"ab");
    EXPECT_TRUE(pending.Empty());
    EXPECT_TRUE(pending.Add(L"c")) << "after the queue drained, the next text must ask again";
    pending.Clear();
    EXPECT_TRUE(pending.Add(L"d")) << "after a clear, the next text must ask again";
}

TEST(PendingLog, EmptyTextIsNotQueued)
{
    CPendingLog pending;
    EXPECT_FALSE(pending.Add(L""));
    EXPECT_TRUE(pending.Empty()) << "an empty text would make a flush that shows nothing";
    for (int i = 0; i < 100000; ++i)
        pending.Add(L"");
    EXPECT_TRUE(pending.Empty());
    EXPECT_TRUE(pending.Add(L"x")) << "the first real text still asks for a flush";
}

TEST(PendingLog, SlicesComeInOrderWithinTheSliceSize)
{
    CPendingLog pending;
    const size_t slice = pending.SliceChars();
    const CString all = Lines(int(slice / 100 * 3 + 17));
    for (size_t at = 0; at < all.size(); at += 100)
        pending.Add(all.substr(at, 100));

    const Drained drained = Drain(pending);
    EXPECT_LE(drained.largest, slice);
    EXPECT_EQ(drained.slices, 4);
    EXPECT_EQ(drained.text, all);
    EXPECT_EQ(pending.Chars(), 0u);
}

TEST(PendingLog, TextLargerThanASliceGoesOverSeveralSlicesInOrder)
{
    CPendingLog pending;
    const CString huge = Lines(int(pending.SliceChars() * 3 / 100));
    pending.Add(huge);
    pending.Add(L"after");
    const Drained drained = Drain(pending);
    EXPECT_LE(drained.largest, pending.SliceChars());
    EXPECT_EQ(drained.slices, 3) << "slices should be full";
    EXPECT_EQ(drained.text, huge + L"after");
}

// The view ends the rows of a run without line breaks itself, so that a run costs what lines
// cost: a run goes in slices as large as lines do, and each cut keeps characters and CR LF whole.
TEST(PendingLog, AnUnbrokenRunGoesInFullSlicesCutBetweenCharacters)
{
    CPendingLog pending;
    CString run;
    while (run.size() < 3 * pending.SliceChars())
        run += L"x\xD83D\xDE00中"; // a surrogate pair every few units
    pending.Add(run);
    CString taken;
    while (!pending.Empty()) {
        const CString s = pending.TakeSlice();
        ASSERT_LE(s.size(), pending.SliceChars());
        if (!pending.Empty()) {
            ASSERT_GE(s.size(), pending.SliceChars() - 1) << "a run must not be held back";
        }
        const wchar_t last = s.back();
        EXPECT_FALSE(last >= 0xD800 && last <= 0xDBFF) << "a slice ends inside a character";
        taken += s;
    }
    EXPECT_EQ(taken, run);
}

TEST(PendingLog, ASliceNeverEndsBetweenCrAndLf)
{
    CPendingLog pending;
    const size_t slice = pending.SliceChars();
    pending.Add(CString(slice - 1, L'r') + L"\r\n" + L"next");
    EXPECT_EQ(pending.TakeSlice(), CString(slice - 1, L'r')) << "the cut must come before the CR";
    EXPECT_EQ(pending.TakeSlice(), L"\r\nnext");
}

TEST(PendingLog, PeekShowsEverythingWaitingAndLeavesIt)
{
    CPendingLog pending;
    pending.Add(CString(10000, L'p'));
    pending.Add(L"tail");
    const CString first = pending.TakeSlice(5000); // part of the first text only
    ASSERT_LT(first.size(), 10000u);
    EXPECT_EQ(first + pending.Peek(), CString(10000, L'p') + L"tail");
    EXPECT_EQ(pending.Chars(), 10004u - first.size());
    EXPECT_EQ(first + TakeChars(pending, pending.Chars()), CString(10000, L'p') + L"tail");
}

struct CostCase {
    double costOverTarget; // what a full slice cost, relative to the target
    double sliceFactor;    // how the slice changes
};

TEST(SliceSizing, FullSliceIsScaledTowardsTheTargetCostByAtMostTwo)
{
    const CostCase cases[] = {
        {4.0, 0.5}, {1.25, 0.8}, {1.0, 1.0}, {0.625, 1.6}, {0.25, 2.0},
    };
    ForEachCase(cases, [](const CostCase& c) {
        CPendingLog pending;
        const size_t start = pending.SliceChars();
        pending.RecordAppend(start, CThreadTurns::kAppendStepMs * c.costOverTarget);
        EXPECT_NEAR(double(pending.SliceChars()), double(start) * c.sliceFactor, 2.0);
    });
}

TEST(PendingLog, PartFilledQuickSliceLeavesTheSizeAlone)
{
    CPendingLog pending;
    const size_t before = pending.SliceChars();
    pending.RecordAppend(before / 10, 1.0);
    EXPECT_EQ(pending.SliceChars(), before);
    // A part-filled slice that was slow still says that slices must shrink.
    pending.RecordAppend(before / 10, CThreadTurns::kAppendStepMs * 2);
    EXPECT_EQ(pending.SliceChars(), before / 2);
}

// The view's append costs a part that grows with the view plus a part per character; the
// slice must settle where one append costs the target, whatever the fixed part.
TEST(PendingLog, SliceSettlesWhereAnAppendCostsTheTarget)
{
    const double perChar = 0.0005; // milliseconds
    for (const double fixed : {0.0, 20.0, 45.0}) {
        CPendingLog pending;
        for (int i = 0; i < 60; ++i) {
            const size_t slice = pending.SliceChars();
            pending.RecordAppend(slice, fixed + perChar * double(slice));
        }
        const double settled = (CThreadTurns::kAppendStepMs - fixed) / perChar;
        EXPECT_NEAR(double(pending.SliceChars()), settled, settled * 0.02) << "fixed part " << fixed << " ms";
    }
}

TEST(PendingLog, SliceStaysWithinItsBounds)
{
    CPendingLog pending;
    for (int i = 0; i < 40; ++i)
        pending.RecordAppend(pending.SliceChars(), 0.1);
    EXPECT_EQ(pending.SliceChars(), CPendingLog::kMaxSlice);
    for (int i = 0; i < 40; ++i)
        pending.RecordAppend(pending.SliceChars(), 10000.0);
    EXPECT_EQ(pending.SliceChars(), CPendingLog::kMinSlice);
}

// Connections stop reading at the high mark and read again only below half of it, so they
// do not stop and start on every slice.
TEST(PendingLog, FullAtTheHighMarkAndRoomyAgainBelowHalfOfIt)
{
    CPendingLog pending;
    const CString block =
        Lines(int(CPendingLog::kHighWater / 8 / 100)) + CString(CPendingLog::kHighWater / 8 % 100, L'.');
    ASSERT_EQ(block.size() * 8, CPendingLog::kHighWater);
    for (int i = 0; i < 7; ++i)
        pending.Add(block);
    EXPECT_FALSE(pending.Full());
    EXPECT_FALSE(pending.HasRoom());
    pending.Add(block);
    EXPECT_TRUE(pending.Full());

    struct Step {
        int taken;
        bool full;
        bool room;
    } const steps[] = {{1, false, false}, {4, false, false}, {5, false, true}, {8, false, true}};
    int taken = 0;
    for (const Step& step : steps) {
        for (; taken < step.taken; ++taken)
            TakeChars(pending, block.size());
        EXPECT_EQ(pending.Full(), step.full) << taken << " blocks taken";
        EXPECT_EQ(pending.HasRoom(), step.room) << taken << " blocks taken";
    }
}

TEST(PendingLog, ASliceCanBeHeldBelowTheSliceSizeAndSaysHowBigItCanBe)
{
    CPendingLog pending;
    for (int i = 0; i < 10; ++i)
        pending.Add(CString(100, wchar_t(L'a' + i)));
    EXPECT_EQ(pending.NextSliceChars(), 1000u) << "everything fits the default slice";
    EXPECT_EQ(pending.NextSliceChars(350), 350u);
    const CString held = pending.TakeSlice(350);
    EXPECT_EQ(held, CString(100, L'a') + CString(100, L'b') + CString(100, L'c') + CString(50, L'd'));
    EXPECT_EQ(pending.TakeSlice(100), CString(50, L'd') + CString(50, L'e'));
}

} // namespace
