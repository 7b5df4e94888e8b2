#include <gtest/gtest.h>

#include "log/pending_log.h"

namespace {

TEST(PendingLog, OnlyTheFirstTextIntoAnEmptyQueueAsksForAFlush)
{
    CPendingLog pending;
    EXPECT_TRUE(pending.Add(L"a"));
    EXPECT_FALSE(pending.Add(L"b"));
    EXPECT_EQ(pending.TakeAll(), L"ab");
    EXPECT_TRUE(pending.Empty());
    EXPECT_TRUE(pending.Add(L"c")) << "after the queue drained, the next text must ask again";
    pending.Clear();
    EXPECT_TRUE(pending.Add(L"d")) << "after a clear, the next text must ask again";
}

TEST(PendingLog, SlicesKeepTextsWholeAndInOrder)
{
    CPendingLog pending;
    const size_t slice = pending.SliceChars();
    const CString third(slice / 3, L'x');
    for (int i = 0; i < 5; ++i)
        pending.Add(third + CString(1, wchar_t(L'0' + i)));

    CString all;
    int slices = 0;
    while (!pending.Empty()) {
        const CString s = pending.TakeSlice();
        EXPECT_LE(s.size(), slice);
        EXPECT_EQ(s.size() % third.size(), s.size() / (third.size() + 1)) << "a text was cut";
        all += s;
        ++slices;
    }
    EXPECT_EQ(slices, 3);
    CString expected;
    for (int i = 0; i < 5; ++i)
        expected += third + CString(1, wchar_t(L'0' + i));
    EXPECT_EQ(all, expected);
    EXPECT_EQ(pending.Chars(), 0u);
}

TEST(PendingLog, TextLargerThanASliceStillGoesWhole)
{
    CPendingLog pending;
    const CString huge(pending.SliceChars() * 3, L'h');
    pending.Add(huge);
    pending.Add(L"after");
    EXPECT_EQ(pending.TakeSlice(), huge);
    EXPECT_EQ(pending.TakeSlice(), L"after");
}

struct CostCase {
    double costOverTarget; // what a full slice cost, relative to the target
    double sliceFactor;    // how the slice changes
};

class SliceSizing : public ::testing::TestWithParam<CostCase> {};

TEST_P(SliceSizing, FullSliceIsScaledTowardsTheTargetCostByAtMostTwo)
{
    CPendingLog pending;
    const size_t start = pending.SliceChars();
    pending.RecordAppend(start, CPendingLog::kTargetMs * GetParam().costOverTarget);
    EXPECT_NEAR(double(pending.SliceChars()), double(start) * GetParam().sliceFactor, 2.0);
}

INSTANTIATE_TEST_SUITE_P(PendingLog, SliceSizing,
                         ::testing::Values(CostCase{4.0, 0.5}, CostCase{1.25, 0.8}, CostCase{1.0, 1.0},
                                           CostCase{0.625, 1.6}, CostCase{0.25, 2.0}));

TEST(PendingLog, PartFilledQuickSliceLeavesTheSizeAlone)
{
    CPendingLog pending;
    const size_t before = pending.SliceChars();
    pending.RecordAppend(before / 10, 1.0);
    EXPECT_EQ(pending.SliceChars(), before);
    // A part-filled slice that was slow still says that slices must shrink.
    pending.RecordAppend(before / 10, CPendingLog::kTargetMs * 2);
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
        const double settled = (CPendingLog::kTargetMs - fixed) / perChar;
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
    const CString block(CPendingLog::kHighWater / 8, L'x');
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
        while (taken < step.taken) {
            pending.TakeSlice(); // one block: each is larger than a slice
            ++taken;
        }
        EXPECT_EQ(pending.Full(), step.full) << taken << " blocks taken";
        EXPECT_EQ(pending.HasRoom(), step.room) << taken << " blocks taken";
    }
}

} // namespace

namespace {

TEST(PendingLog, ASliceCanBeHeldBelowTheSliceSizeAndSaysHowBigItCanBe)
{
    CPendingLog pending;
    for (int i = 0; i < 10; ++i)
        pending.Add(CString(100, wchar_t(L'a' + i)));
    EXPECT_EQ(pending.NextSliceChars(), 1000u) << "everything fits the default slice";
    EXPECT_EQ(pending.NextSliceChars(350), 350u);
    const CString held = pending.TakeSlice(350);
    EXPECT_EQ(held, CString(100, L'a') + CString(100, L'b') + CString(100, L'c')) << "whole texts only";
    // A text larger than the limit still goes, alone.
    pending.Clear();
    pending.Add(CString(500, L'x'));
    pending.Add(L"y");
    EXPECT_EQ(pending.NextSliceChars(100), 500u);
    EXPECT_EQ(pending.TakeSlice(100), CString(500, L'x'));
    EXPECT_EQ(pending.TakeSlice(100), L"y");
}

} // namespace
