#pragma once
// When and how the log view paints while text floods in. A paint of the view costs more the
// more lines the control holds: for every visible line it walks its list of lines from the
// first, several times (at 24 M characters a whole paint takes 80 to 150 ms here), and a band of
// the view costs nearly as much as the whole, since every band walks all visible lines. So
// during a flood
// - the view paints at most every kMinGapMs, and a cheap paint at most a 1/kShare of the time;
// - a dear paint comes kMostApartMs after the last one began, so that the view moves at least
//   about twice a second whatever it holds, as long as painting keeps to 1/kMostShare of the
//   time (past that the view is left to move more slowly rather than take the window);
// - a paint that would take longer than kBandBudgetMs is split into horizontal bands, one per
//   step, so that the window answers between them; into kMaxBands at most, since past that a
//   band costs hardly less (the walks for all visible lines are a quarter to a third of a
//   whole paint) and the paint ever more.
#include <algorithm>

class CPaintPacer {
public:
    static constexpr double kMinGapMs = 250.0;
    static constexpr double kShare = 10.0;
    static constexpr double kMostApartMs = 400.0;
    static constexpr double kMostShare = 3.0;
    static constexpr double kBandBudgetMs = 80.0;
    static constexpr int kMaxBands = 3;

    // Whether the next step paints: a paint is under way, or one is due and the view needs it
    // (times in milliseconds on any steady clock).
    bool PaintStep(double nowMs, bool viewDirty) const { return m_band > 0 || (viewDirty && Due(nowMs)); }
    bool Due(double nowMs) const { return !m_painted || nowMs - m_lastEndMs >= Gap(); }
    // The band the next paint step paints: index from the top, and how many there are.
    int Band() const { return m_band; }
    int Bands() const { return m_band > 0 ? m_bands : m_nextBands; }
    // Notes that the band Band() was painted, ending at nowMs after the given time.
    void BandPainted(double nowMs, double milliseconds);
    // The least time between the end of one paint and the next.
    double Gap() const
    {
        const double byShare = std::min(std::max(kMinGapMs, kShare * m_lastCostMs), kMostApartMs - m_lastCostMs);
        return std::max(byShare, (kMostShare - 1) * m_lastCostMs);
    }

private:
    bool m_painted = false;
    double m_lastEndMs = 0;
    double m_lastCostMs = 0; // of the last whole paint, all its bands
    int m_band = 0;          // next band of the paint under way; 0 when none is
    int m_bands = 1;         // bands of the paint under way
    int m_nextBands = 1;     // bands of the next paint
    double m_costMs = 0;     // of the paint under way so far
    double m_slowestMs = 0;  // its slowest band
};

inline void CPaintPacer::BandPainted(double nowMs, double milliseconds)
{
    if (m_band == 0) {
        m_bands = m_nextBands;
        m_costMs = 0;
        m_slowestMs = 0;
    }
    m_costMs += milliseconds;
    m_slowestMs = std::max(m_slowestMs, milliseconds);
    if (++m_band < m_bands)
        return;
    // The whole paint is done; split the next one finer if a band took too long, coarser if
    // even one band fewer would have kept within the budget.
    m_band = 0;
    m_painted = true;
    m_lastEndMs = nowMs;
    m_lastCostMs = m_costMs;
    if (m_slowestMs > kBandBudgetMs)
        m_nextBands = std::min(m_bands + 1, kMaxBands);
    else if (m_bands > 1 && m_costMs / (m_bands - 1) < kBandBudgetMs / 2)
        m_nextBands = m_bands - 1;
}
