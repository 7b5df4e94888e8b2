#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "log/flush_scheduler.h"

namespace {

// The window and its view as the flush sees them, on a fake clock: an append takes kAppendMs,
// a paint m_paintMs, shared by its bands. The turn timer comes as soon as it is set, even ahead
// of a posted step.
class FlushScheduler : public ::testing::Test, CFlushScheduler::View, CFlushScheduler::Window {
protected:
    static constexpr double kAppendMs = 20.0;
    struct Paint {
        int band, bands, step;
        double startMs, endMs;
    };

    void SetUp() override
    {
        m_pipe.SetClock([this] { return m_nowMs; });
        m_flush.ConnectPipe();
    }
    void OfferLines(size_t chars)
    {
        for (size_t n = 0; n < chars; n += 100)
            m_pipe.Offer(CString(98, L'a' + n / 100 % 26) + L"\r\n");
    }
    // Notes when the timer carried a step: the flush's own turn.
    void Drain()
    {
        while (m_turnTimer || m_posts > 0) {
            if (!m_turnTimer) {
                --m_posts;
                m_flush.Step();
                continue;
            }
            const int steps = m_steps;
            const double firedMs = m_nowMs;
            m_flush.OnTimer(CFlushScheduler::kTurnTimer);
            if (m_steps > steps)
                m_flushTurnsMs.push_back(firedMs);
        }
    }

    size_t Capacity() const override { return m_capacity; }
    size_t Room() const override { return m_capacity - std::min(m_capacity, m_text.size()); }
    bool KeepsAll() const override { return m_keepAll; }
    void KeepAll(bool keep) override { m_keepAll = keep; }
    bool NeedsPaint() const override { return m_dirty; }
    void PaintBand(int band, int bands) override
    {
        m_paints.push_back(Paint{band, bands, ++m_steps, m_nowMs, m_nowMs += m_paintMs / bands});
        m_dirty = band + 1 < bands;
    }
    bool MakeRoomFor(size_t incoming) override
    {
        ++m_steps;
        if (m_keepAll || m_text.size() + incoming <= m_capacity)
            return false;
        m_text.erase(0, m_capacity / 4);
        return true;
    }
    void Append(const CString& text) override
    {
        m_text += text;
        m_dirty = true;
        m_nowMs += kAppendMs;
    }
    void Clear() override { m_text.clear(); }

    void PostStep() override { EXPECT_LE(++m_posts, 1) << "a second chain of steps"; }
    void SetTimer(uintptr_t id, unsigned) override { m_turnTimer |= id == CFlushScheduler::kTurnTimer; }
    void KillTimer(uintptr_t id) override { m_turnTimer &= id != CFlushScheduler::kTurnTimer; }
    bool InputWaits(bool) const override { return m_inputWaits; }
    void ValidateView() override { m_dirty = false; }
    void InvalidateView() override { m_dirty = m_paintGivenBack = true; }

    double m_nowMs = 1000, m_paintMs = 40;
    size_t m_capacity = 4000;
    CString m_text;
    bool m_keepAll = false, m_dirty = false, m_inputWaits = false, m_turnTimer = false, m_paintGivenBack = false;
    int m_posts = 0, m_steps = 0;
    std::vector<Paint> m_paints;
    std::vector<double> m_flushTurnsMs;
    CLogPipe m_pipe;
    CFlushScheduler m_flush{m_pipe, *this, *this, [this] { return m_nowMs; }};
};

// A dear paint begins in the first step after kMostApartMs from the start of the last one,
// split into bands (one per step) once a band costs more than the budget.
TEST_F(FlushScheduler, PaintStepsComeAtThePacersGapInBands)
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

TEST_F(FlushScheduler, SaveKeepingTheViewStopsAtAFullViewAndOneEndRestartsIt)
{
    m_keepAll = true;
    OfferLines(10000);
    Drain();
    EXPECT_EQ(m_text.size(), m_capacity) << "the view fills to its capacity and drops nothing";
    m_flush.Append(L"status\r\n");
    m_flush.EndKeepingView();
    m_flush.EndKeepingView();
    EXPECT_EQ(m_posts, 1);
    Drain();
    EXPECT_TRUE(m_pipe.Empty());
    EXPECT_EQ(m_text.substr(m_text.size() - 8), L"status\r\n");
}

// Input that keeps waiting gets a turn every kInputTurnMs, and the flush goes on after each;
// the turns the reads ask for meanwhile carry no step (PostStep checks for a second chain).
TEST_F(FlushScheduler, WaitingInputGetsATurnAtMostEveryInputTurnMs)
{
    m_inputWaits = true;
    OfferLines(200000);
    Drain();
    EXPECT_TRUE(m_pipe.Empty()) << "the flush stopped at a turn";
    ASSERT_GE(m_flushTurnsMs.size(), 3u);
    for (size_t i = 1; i < m_flushTurnsMs.size(); ++i) {
        EXPECT_GE(m_flushTurnsMs[i] - m_flushTurnsMs[i - 1], CFlushScheduler::kInputTurnMs) << i;
        EXPECT_LE(m_flushTurnsMs[i] - m_flushTurnsMs[i - 1], CFlushScheduler::kInputTurnMs + m_paintMs) << i;
    }
    EXPECT_TRUE(m_paintGivenBack) << "a paint held back for the turn is given back after it";
}

TEST_F(FlushScheduler, ClearEmptiesTheViewAndWhatWaits)
{
    OfferLines(10000);
    Drain();
    OfferLines(1000);
    const size_t shown = m_text.size();
    m_flush.Append(L"status\r\n");
    EXPECT_EQ(m_text.size(), shown) << "a status line waits behind the text that came before it";
    m_flush.Clear();
    Drain();
    EXPECT_TRUE(m_text.empty() && m_pipe.Empty()) << "the step already posted finds nothing to do";
}

} // namespace
