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

TEST(PendingLog, SliceShrinksWhenAppendsAreSlowAndGrowsWhenFast)
{
    CPendingLog pending;
    const size_t start = pending.SliceChars();

    pending.RecordAppend(start, CPendingLog::kTargetMs * 4);
    EXPECT_EQ(pending.SliceChars(), start / 4);

    const size_t shrunk = pending.SliceChars();
    pending.RecordAppend(shrunk, CPendingLog::kTargetMs / 4);
    EXPECT_EQ(pending.SliceChars(), shrunk * 2);

    // A part-filled slice that was quick says nothing about a full one.
    const size_t before = pending.SliceChars();
    pending.RecordAppend(before / 10, 1.0);
    EXPECT_EQ(pending.SliceChars(), before);
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

} // namespace
