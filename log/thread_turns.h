#pragma once
// When the operator's input, the view's paint and the connections' reads get the window's one
// thread, with the budgets of each side by side. Posted messages and read notifications come
// before input, paint and timers, so left alone the flush and the reads would keep the thread:
// - reads have it for kReadTurnMs at a time; then, while input or a paint that no flush step
//   will do waits, readers pause until the turn timer has come after them;
// - flush steps run back to back, but while input waits it gets a turn at most every
//   kInputTurnMs: the next step then comes with the turn timer, after the input;
// - one step costs about kAppendStepMs (CPendingLog sizes its slices to it);
// - the view paints when CPaintPacer says (every kMinGapMs to kMostApartMs, a share of the
//   time, in bands of kBandBudgetMs), and while a turn is given with text waiting its paint is
//   held back for the flush steps, which split it, and given back when the turn ends.
// Windowless: the pipe, the window and the clock are given to it, so that tests use fakes.
#include <cstdint>
#include <functional>

#include "log/log_pipe.h"
#include "log/paint_pacer.h"

class CThreadTurns final : public CLogPipe::ReadTurns {
public:
    static constexpr double kReadTurnMs = 100.0;
    static constexpr double kInputTurnMs = 250.0;
    // Half the window's 100 ms: a round of clients starting at once stretches a step before the
    // slices shrink to it. At 65 the soak's answers had a p99 of 121 ms, at 50 of 94 ms.
    static constexpr double kAppendStepMs = 50.0;

    // The window's side effects (the dialog's on Windows).
    class Window {
    public:
        // The window's timers, by id. Timer messages come after input and paint.
        static constexpr uintptr_t kTurnTimer = 1;
        // Readers waiting for room look again whether idle frames may be shed for them.
        static constexpr uintptr_t kShedTimer = 2;

        // Posts the message that makes the next flush step: it comes before input, paint and timers.
        virtual void PostStep() = 0;
        virtual void SetTimer(uintptr_t id, unsigned afterMs) = 0;
        virtual void KillTimer(uintptr_t id) = 0;
        // Whether the operator's input waits; with `orPaint`, also whether a paint waits.
        virtual bool InputWaits(bool orPaint) const = 0;
        // Takes the view's pending paint away from the message loop, or gives it back.
        virtual void ValidateView() = 0;
        virtual void InvalidateView() = 0;

    protected:
        ~Window() = default;
    };

    // `viewNeedsPaint`: whether the log view waits for a paint; `nowMs`: milliseconds on any
    // steady clock.
    CThreadTurns(CLogPipe& pipe, Window& window, std::function<bool()> viewNeedsPaint, std::function<double()> nowMs);
    // Readers paused for a turn of this window's must not wait for it once it has gone.
    ~CThreadTurns();
    CThreadTurns(const CThreadTurns&) = delete;
    CThreadTurns& operator=(const CThreadTurns&) = delete;

    // Has the pipe's reads take their turns here; a turn that an earlier window left open ends.
    void Connect();

    // The pipe's side (CLogPipe::ReadTurns).
    void BeforeReads() override;
    bool ReadsYield() const override { return m_readsYield; }

    // After a flush step: whether waiting input goes before the next one, which then comes
    // with the turn's end rather than posted.
    bool InputGoesFirst();
    // The turn timer has come: input and paint have had their turn. Whether it carries the
    // flush's next step.
    bool EndTurn();

    // Milliseconds on the clock the turns keep, which the flush times its steps by.
    double Now() const { return m_nowMs(); }
    // Whether the next flush step paints the view, at `nowMs`; see CPaintPacer.
    bool PaintsNext(double nowMs, bool viewNeedsPaint) const { return m_paint.PaintStep(nowMs, viewNeedsPaint); }
    const CPaintPacer& Paint() const { return m_paint; }
    void BandPainted(double nowMs, double milliseconds) { m_paint.BandPainted(nowMs, milliseconds); }

private:
    void GiveInputATurn();
    bool OthersWait() const;

    CLogPipe& m_pipe;
    Window& m_window;
    std::function<bool()> m_viewNeedsPaint;
    std::function<double()> m_nowMs;
    bool m_connected = false;
    bool m_readsYield = false;     // reads gave up the thread and wait for the turn's end
    double m_readTurnStartMs = -1; // -1: the first read starts it
    double m_lastInputTurnMs = -kInputTurnMs;
    bool m_flushOnTimer = false;  // the turn timer also carries the next flush step
    bool m_viewPaintHeld = false; // the view needs painting, kept back while input goes first
    CPaintPacer m_paint;
};
