#pragma once
// The console's window thread as the flush and the thread's turns see it, for their tests: the
// window and its view on a fake clock. An append takes kAppendMs, a paint m_paintMs, shared by
// its bands. Drain() runs the message loop: the turn timer comes as soon as it is set, even
// ahead of a posted step.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "log/flush_scheduler.h"
#include "log/log_pipe.h"
#include "log/thread_turns.h"

class FakeConsole : public ::testing::Test, public CFlushScheduler::View, public CThreadTurns::Window {
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
    // Notes when the timer carried a step: the flush's own turn. Fails when the messages go
    // round without a step of the flush (each paints, or trims before it appends).
    void Drain()
    {
        for (int idle = 0; m_turnTimer || m_posts > 0;) {
            const int steps = m_steps;
            if (!m_turnTimer) {
                --m_posts;
                m_flush.Step();
            } else {
                const double firedMs = m_nowMs;
                m_flush.OnTimer(kTurnTimer);
                if (m_steps > steps)
                    m_flushTurnsMs.push_back(firedMs);
            }
            idle = m_steps > steps ? 0 : idle + 1;
            if (idle > 100) {
                ADD_FAILURE() << "the window's messages go round and the view gets nothing";
                return;
            }
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
    void SetTimer(uintptr_t id, unsigned) override { m_turnTimer |= id == kTurnTimer; }
    void KillTimer(uintptr_t id) override { m_turnTimer &= id != kTurnTimer; }
    bool InputWaits(bool orPaint) const override { return m_inputWaits || (orPaint && m_paintWaits); }
    void ValidateView() override { m_dirty = false; }
    void InvalidateView() override { m_dirty = m_paintGivenBack = true; }

    double m_nowMs = 1000, m_paintMs = 40;
    size_t m_capacity = 4000;
    CString m_text;
    bool m_keepAll = false, m_dirty = false, m_inputWaits = false, m_paintWaits = false;
    bool m_turnTimer = false, m_paintGivenBack = false;
    int m_posts = 0, m_steps = 0;
    std::vector<Paint> m_paints;
    std::vector<double> m_flushTurnsMs;
    CLogPipe m_pipe;
    CThreadTurns m_turns{m_pipe, *this, [this] { return m_dirty; }, [this] { return m_nowMs; }};
    CFlushScheduler m_flush{m_pipe, m_turns, *this, *this};
};
