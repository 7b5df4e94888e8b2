#include "log/thread_turns.h"

#include <utility>

CThreadTurns::CThreadTurns(CLogPipe& pipe, Window& window, std::function<bool()> viewNeedsPaint,
                           std::function<double()> nowMs)
    : m_pipe(pipe), m_window(window), m_viewNeedsPaint(std::move(viewNeedsPaint)), m_nowMs(std::move(nowMs))
{
}

CThreadTurns::~CThreadTurns()
{
    if (m_pipe.Turns() == this)
        m_pipe.SetTurns(nullptr);
}

void CThreadTurns::Connect()
{
    // A turn asked of a window that has gone would never end: this one starts afresh.
    m_readsYield = false;
    m_readTurnStartMs = m_nowMs();
    m_pipe.SetTurns(this);
}

// Before a read: once reads have had their turn, they go on only while nothing else waits;
// otherwise they yield and the window is asked for a turn.
void CThreadTurns::BeforeReads()
{
    if (m_readsYield)
        return;
    const double now = m_nowMs();
    if (m_readTurnStartMs < 0)
        m_readTurnStartMs = now;
    if (now - m_readTurnStartMs < kReadTurnMs)
        return;
    if (!OthersWait()) {
        m_readTurnStartMs = now; // nothing else wants the thread: reads go on
        return;
    }
    m_readsYield = true;
    GiveInputATurn();
}

// Whether the operator's input waits, or a paint that no flush step will do: while text
// waits, the flush steps paint the view themselves, and counting their paint would have reads
// give way every turn for nothing.
bool CThreadTurns::OthersWait() const
{
    return m_window.InputWaits(m_pipe.Empty());
}

// Posted messages come before the operator's input, so when input is waiting the next step
// comes after it, at most every kInputTurnMs, so that a stream of input (the mouse moving over
// the window) does not take the flush down to one step per turn.
bool CThreadTurns::InputGoesFirst()
{
    const double now = m_nowMs();
    if (now - m_lastInputTurnMs < kInputTurnMs || !m_window.InputWaits(false))
        return false;
    m_lastInputTurnMs = now;
    m_flushOnTimer = true;
    GiveInputATurn();
    return true;
}

// Lets input and paint in before the next flush step and the next reads, by timer. While text
// waits, the view's own paint stays with the flush steps, which split it when it is dear; the
// message loop would paint it whole before the timer comes.
void CThreadTurns::GiveInputATurn()
{
    if (!m_pipe.Empty()) {
        m_viewPaintHeld = m_viewPaintHeld || m_viewNeedsPaint();
        m_window.ValidateView();
    }
    m_window.SetTimer(Window::kTurnTimer, 0);
}

bool CThreadTurns::EndTurn()
{
    m_window.KillTimer(Window::kTurnTimer);
    if (m_viewPaintHeld)
        m_window.InvalidateView();
    m_viewPaintHeld = false;
    m_readsYield = false;
    m_readTurnStartMs = m_nowMs();
    m_pipe.ResumeReaders();
    // Only the flush's own turn goes on flushing: a turn the reads asked for while flush steps
    // were posted would start a second chain of them.
    return std::exchange(m_flushOnTimer, false);
}
