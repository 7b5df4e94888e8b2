#pragma once
// When the log view may paint while text floods in. A paint of the view costs more the more
// text the control holds (about 7 ms per million characters here, as it walks its lines from
// the first), so during a flood the view paints at most every kMinGapMs and spends at most
// 1/kShare of the time painting; between paints the window goes on taking text and answering.
#include <algorithm>

class CPaintPacer {
public:
    static constexpr double kMinGapMs = 250.0;
    static constexpr double kShare = 8.0;

    // Whether the view may paint now (times in milliseconds on any steady clock).
    bool Due(double nowMs) const { return !m_painted || nowMs - m_lastMs >= Gap(); }
    // Notes a paint that began at startMs and took the given time.
    void Painted(double startMs, double milliseconds)
    {
        m_painted = true;
        m_lastMs = startMs + milliseconds;
        m_costMs = milliseconds;
    }
    // The least time between the end of one paint and the next.
    double Gap() const { return std::max(kMinGapMs, kShare * m_costMs); }

private:
    bool m_painted = false;
    double m_lastMs = 0;
    double m_costMs = 0;
};
