// Who gets the window's thread when: reads for their turn, then input and paint; flush steps
// with a turn for waiting input at most every kInputTurnMs; the view's paint as paced.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "fake_console.h"
#include "fake_reader.h"
#include "testkit/case_table.h"

namespace {

constexpr double kReadTurnMs = CThreadTurns::kReadTurnMs;

class ThreadTurns : public FakeConsole {};

struct WhatWaits {
    const char* name;
    bool input, paint, text; // what waits besides the reads
    bool yields;             // reads give the thread up after their turn
    bool paintHeld;          // the view's paint is kept for the flush steps meanwhile
};

void PrintTo(const WhatWaits& c, std::ostream* os)
{
    *os << c.name;
}

class ReadTurns : public FakeConsole, public ::testing::WithParamInterface<WhatWaits> {};

// Reads are notifications that come before input: after a turn's worth of reading while input,
// or a paint that no flush step will do, waits, readers pause until the window has served it.
TEST_P(ReadTurns, ReadsYieldAfterTheirTurnOnlyWhileOthersWait)
{
    const WhatWaits& c = GetParam();
    m_inputWaits = c.input;
    m_paintWaits = c.paint;
    if (c.text)
        OfferLines(1000);
    m_dirty = true;
    FakeReader reader(m_pipe);
    ASSERT_GT(reader.ReadOnce(0), 0u);
    m_nowMs += kReadTurnMs / 2;
    ASSERT_GT(reader.ReadOnce(0), 0u) << "within the turn, reads go on";
    m_nowMs += kReadTurnMs;
    if (!c.yields) {
        for (int i = 0; i < 20; ++i) {
            ASSERT_GT(reader.ReadOnce(0), 0u) << "read " << i;
            reader.FinishFrame();
            m_nowMs += kReadTurnMs;
        }
        EXPECT_FALSE(m_turnTimer) << "a turn was asked for nothing";
        return;
    }
    EXPECT_EQ(reader.ReadOnce(0), 0u) << "reads kept the thread past their turn";
    EXPECT_TRUE(m_turnTimer) << "the window was not asked for a turn";
    EXPECT_EQ(m_dirty, !c.paintHeld);
    m_nowMs += 1;
    EXPECT_FALSE(m_turns.EndTurn()) << "a turn the reads asked for carries no flush step";
    EXPECT_FALSE(m_turnTimer);
    EXPECT_EQ(reader.resumed, 1) << "readers stay paused after the turn";
    EXPECT_EQ(m_paintGivenBack, c.paintHeld) << "a paint held back for the turn is given back after it";
    EXPECT_GT(reader.ReadOnce(0), 0u) << "a new turn starts when the window ends one";
}

INSTANTIATE_TEST_SUITE_P(WhatWaits, ReadTurns,
                         ::testing::Values(WhatWaits{"Nothing", false, false, false, false, false},
                                           WhatWaits{"Input", true, false, false, true, false},
                                           WhatWaits{"Paint", false, true, false, true, false},
                                           WhatWaits{"PaintWhileTextWaits", false, true, true, false, false},
                                           WhatWaits{"InputWhileTextWaits", true, false, true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A window that asked for a turn and went before it came: the readers it paused read on.
TEST_F(ThreadTurns, ATurnItsWindowNeverEndsEndsWhenItGoesOrTurnsConnectAfresh)
{
    enum Then { Goes, ConnectsAgain, AnotherConnects };
    const struct {
        const char* name;
        Then then;
    } cases[] = {{"its turns go", Goes}, {"they connect again", ConnectsAgain}, {"others connect", AnotherConnects}};
    ForEachCase(cases, [this](const auto& c) {
        auto turns = std::make_unique<CThreadTurns>(
            m_pipe, *this, [] { return false; }, [this] { return m_nowMs; });
        turns->Connect();
        FakeReader reader(m_pipe);
        m_inputWaits = true;
        reader.ReadOnce(0);
        m_nowMs += 2 * kReadTurnMs;
        ASSERT_EQ(reader.ReadOnce(0), 0u);
        if (c.then == Goes)
            turns.reset();
        else
            (c.then == ConnectsAgain ? *turns : m_turns).Connect();
        EXPECT_EQ(reader.resumed, 1) << "readers wait for a turn that never ends";
        EXPECT_GT(reader.ReadOnce(0), 0u);
    });
}

// Input that keeps waiting gets a turn every kInputTurnMs, and the flush goes on after each;
// the turns the reads ask for meanwhile carry no step (PostStep checks for a second chain).
TEST_F(ThreadTurns, WaitingInputGetsATurnAtMostEveryInputTurnMs)
{
    m_inputWaits = true;
    OfferLines(200000);
    Drain();
    EXPECT_TRUE(m_pipe.Empty()) << "the flush stopped at a turn";
    ASSERT_GE(m_flushTurnsMs.size(), 3u);
    for (size_t i = 1; i < m_flushTurnsMs.size(); ++i) {
        EXPECT_GE(m_flushTurnsMs[i] - m_flushTurnsMs[i - 1], CThreadTurns::kInputTurnMs) << i;
        EXPECT_LE(m_flushTurnsMs[i] - m_flushTurnsMs[i - 1], CThreadTurns::kInputTurnMs + m_paintMs) << i;
    }
    EXPECT_TRUE(m_paintGivenBack) << "a paint held back for the turn is given back after it";
}

// A dear paint begins in the first step after kMostApartMs from the start of the last one,
// split into bands (one per step) once a band costs more than the budget.
TEST_F(ThreadTurns, PaintStepsComeAtThePacersGapInBands)
{
    m_paintMs = 120;
    OfferLines(200000);
    Drain();
    EXPECT_TRUE(m_pipe.Empty());
    ASSERT_GE(m_paints.size(), 5u);
    EXPECT_EQ(m_paints[1].bands, 2) << "a band over the budget splits the next paint";
    double began = m_paints[0].startMs;
    for (size_t i = 1; i < m_paints.size(); ++i) {
        const Paint& last = m_paints[i - 1];
        if (m_paints[i].band > 0) {
            EXPECT_EQ(m_paints[i].step, last.step + 1) << "a paint under way goes on in the next step";
            continue;
        }
        const double apart = m_paints[i].startMs - began;
        EXPECT_TRUE(apart >= CPaintPacer::kMostApartMs && apart <= CPaintPacer::kMostApartMs + kAppendMs)
            << "paint " << i << " starts " << apart << " ms after the last began";
        began = m_paints[i].startMs;
    }
}

} // namespace
