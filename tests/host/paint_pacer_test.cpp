#include <gtest/gtest.h>

#include "log/paint_pacer.h"

namespace {

TEST(PaintPacer, FirstPaintIsDueAtOnce)
{
    CPaintPacer pacer;
    EXPECT_TRUE(pacer.Due(0.0));
    EXPECT_TRUE(pacer.Due(123456.0));
}

struct PaintCase {
    double costMs;
    double gapMs; // least time from the end of that paint to the next
};

class PaintGap : public ::testing::TestWithParam<PaintCase> {};

// Cheap paints come at a steady pace; dear ones so rarely that painting takes at most an
// eighth of the time.
TEST_P(PaintGap, NextPaintWaitsForTheGapAfterThePaintEnded)
{
    CPaintPacer pacer;
    const double start = 1000.0;
    pacer.Painted(start, GetParam().costMs);
    const double ended = start + GetParam().costMs;
    EXPECT_DOUBLE_EQ(pacer.Gap(), GetParam().gapMs);
    EXPECT_FALSE(pacer.Due(ended));
    EXPECT_FALSE(pacer.Due(ended + GetParam().gapMs - 1.0));
    EXPECT_TRUE(pacer.Due(ended + GetParam().gapMs));
}

INSTANTIATE_TEST_SUITE_P(PaintPacer, PaintGap,
                         ::testing::Values(PaintCase{1.0, CPaintPacer::kMinGapMs},
                                           PaintCase{CPaintPacer::kMinGapMs / CPaintPacer::kShare,
                                                     CPaintPacer::kMinGapMs},
                                           PaintCase{100.0, 100.0 * CPaintPacer::kShare},
                                           PaintCase{160.0, 160.0 * CPaintPacer::kShare}));

TEST(PaintPacer, GapFollowsTheLastPaintOnly)
{
    CPaintPacer pacer;
    pacer.Painted(0.0, 200.0);
    pacer.Painted(5000.0, 2.0);
    EXPECT_DOUBLE_EQ(pacer.Gap(), CPaintPacer::kMinGapMs);
    EXPECT_TRUE(pacer.Due(5002.0 + CPaintPacer::kMinGapMs));
}

} // namespace
