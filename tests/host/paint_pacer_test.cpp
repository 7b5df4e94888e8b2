#include <gtest/gtest.h>

#include <vector>

#include "log/paint_pacer.h"
#include "testkit/case_table.h"

namespace {

// Paints the whole view at `at`, each band taking `bandMs`; returns when it ended.
double PaintWhole(CPaintPacer& pacer, double at, double bandMs)
{
    const int bands = pacer.Bands();
    for (int band = 0; band < bands; ++band) {
        EXPECT_EQ(pacer.Band(), band);
        if (band > 0) {
            EXPECT_TRUE(pacer.PaintStep(at, false)) << "a paint under way goes on with its next band";
        }
        at += bandMs;
        pacer.BandPainted(at, bandMs);
    }
    EXPECT_EQ(pacer.Band(), 0);
    return at;
}

TEST(PaintPacer, FirstPaintIsDueAtOnceButOnlyWhenTheViewNeedsIt)
{
    CPaintPacer pacer;
    EXPECT_TRUE(pacer.PaintStep(0.0, true));
    EXPECT_FALSE(pacer.PaintStep(0.0, false));
    EXPECT_EQ(pacer.Bands(), 1);
}

struct PaintCase {
    double costMs; // of a whole paint in one band
    double gapMs;  // least time from its end to the next
};

// Cheap paints come at a steady pace, every quarter of a second, and take at most a tenth of
// the time; dearer ones come 400 ms after the last one began, so that the view moves twice a
// second, unless that would give painting more than a third of the time.
TEST(PaintGap, NextPaintWaitsForTheGapAfterThePaintEnded)
{
    const PaintCase cases[] = {
        {1.0, 250.0},   {25.0, 250.0},  {30.0, 300.0},  // a tenth of the time, at most every 250 ms
        {60.0, 340.0},  {120.0, 280.0}, {140.0, 280.0}, // 400 ms from start to start
        {200.0, 400.0},                                 // a third of the time
    };
    ForEachCase(cases, [](const PaintCase& c) {
        CPaintPacer pacer;
        const double ended = PaintWhole(pacer, 1000.0, c.costMs);
        EXPECT_DOUBLE_EQ(pacer.Gap(), c.gapMs);
        EXPECT_FALSE(pacer.PaintStep(ended, true));
        EXPECT_FALSE(pacer.PaintStep(ended + c.gapMs - 1.0, true));
        EXPECT_TRUE(pacer.PaintStep(ended + c.gapMs, true));
    });
}

// As the view grows its paint grows dearer: it is split into more bands while a band costs
// more than the budget, up to kMaxBands, and into fewer again once the view is cheap to paint
// (after a clear).
TEST(PaintPacer, DearPaintsAreSplitIntoBandsUpToTheMost)
{
    CPaintPacer pacer;
    double now = 0;
    // A paint of the whole view costs `whole`; a band of n costs a part for every visible
    // line plus its share of the drawing, as the control does it.
    auto bandCost = [](double whole, int bands) { return whole * (0.25 + 0.75 / bands); };
    std::vector<int> splits;
    std::vector<double> bandMs; // what each band of each paint took
    for (const double whole : {40.0, 100.0, 120.0, 120.0, 200.0, 200.0, 20.0, 20.0, 20.0}) {
        bandMs.push_back(bandCost(whole, pacer.Bands()));
        now = PaintWhole(pacer, now + pacer.Gap(), bandMs.back());
        splits.push_back(pacer.Bands());
    }
    EXPECT_EQ(splits, (std::vector<int>{1, 2, 2, 2, 3, 3, 2, 1, 1}));
    // It settles on the fewest bands that keep within its budget, and stays at the most when
    // even those overrun it.
    EXPECT_LE(bandMs[3], CPaintPacer::kBandBudgetMs);
    EXPECT_GT(bandMs[5], CPaintPacer::kBandBudgetMs);
    EXPECT_EQ(CPaintPacer::kMaxBands, 3);
    EXPECT_DOUBLE_EQ(pacer.Gap(), 250.0) << "the gap follows the last paint";
}

TEST(PaintPacer, GapCountsAllBandsOfThePaint)
{
    CPaintPacer pacer;
    PaintWhole(pacer, 0.0, 200.0); // one band, too slow: the next paint has two
    const double ended = PaintWhole(pacer, 10000.0, 50.0);
    EXPECT_DOUBLE_EQ(pacer.Gap(), 300.0) << "400 ms from the start of both bands' 100 ms";
    EXPECT_FALSE(pacer.PaintStep(ended + 299.0, true));
}

} // namespace
