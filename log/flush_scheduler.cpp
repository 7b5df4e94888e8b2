#include "log/flush_scheduler.h"

#include <algorithm>
#include <utility>

CFlushScheduler::CFlushScheduler(CLogPipe& pipe, View& view, Window& window, std::function<double()> nowMs)
    : m_pipe(pipe), m_view(view), m_window(window), m_nowMs(std::move(nowMs))
{
}

// The pipe wakes the window when text starts waiting, and asks it for a turn when reads have
// had the thread long enough while input or paint waited.
void CFlushScheduler::ConnectPipe()
{
    // Whether the operator's input waits, or a paint that no flush step will do: while text
    // waits, the flush steps paint the view themselves, and counting their paint would have
    // reads give way every turn for nothing.
    m_pipe.Connect([this] { m_window.PostStep(); }, [this] { GiveInputATurn(); },
                   [this] { return m_window.InputWaits(m_pipe.Empty()); },
                   [this](double afterMs) { m_window.SetTimer(kShedTimer, unsigned(afterMs) + 1); });
}

void CFlushScheduler::Append(CString text)
{
    // Frames that arrived before this line must stay before it: behind them, it waits its turn.
    // So does a line that does not fit while the view keeps all for a save.
    if (!m_pipe.Empty() || (m_view.KeepsAll() && text.size() > m_view.Room())) {
        m_pipe.Offer(std::move(text));
        return;
    }
    m_view.Append(text);
}

// Text from connections is waiting. One bounded step per message, so the window answers
// between steps: a band of the view's paint while one is due or under way, else a piece of a
// large frame's decoding when that frame is next, else the removal of the oldest text when the
// next slice would not fit, else the append of one slice.
void CFlushScheduler::Step()
{
    if (m_pipe.Empty())
        return;

    // A slice never needs more than the room that one removal makes. While a save keeps the
    // whole view, a slice takes only the room left; with none left, the text waits in the pipe
    // (its readers pause at its high-water mark) until the save ends.
    size_t most = m_view.Capacity() / 4;
    if (m_view.KeepsAll()) {
        most = std::min(most, m_view.Room());
        if (most == 0) {
            m_flushWaitsForSave = true;
            return;
        }
    }

    const double start = m_nowMs();
    if (m_paintPacer.PaintStep(start, m_view.NeedsPaint())) {
        m_view.PaintBand(m_paintPacer.Band(), m_paintPacer.Bands());
        const double end = m_nowMs();
        m_paintPacer.BandPainted(end, end - start);
    } else if (m_pipe.MakingFirst()) {
        m_pipe.MakeStep();
    } else if (!m_view.MakeRoomFor(m_pipe.NextSliceChars(most))) {
        const CString slice = m_pipe.TakeSlice(most);
        m_view.Append(slice);
        m_pipe.RecordAppend(slice.size(), m_nowMs() - start);
    }
    NextStep();
}

// Asks for the next step while text waits. Posted messages come before the operator's input,
// so when input is waiting the next step comes after it, at most every kInputTurnMs, so that a
// stream of input (the mouse moving over the window) does not take the flush down to one step
// per turn.
void CFlushScheduler::NextStep()
{
    if (m_pipe.Empty())
        return;
    const double now = m_nowMs();
    if (now - m_lastInputTurnMs >= kInputTurnMs && m_window.InputWaits(false)) {
        m_lastInputTurnMs = now;
        m_flushOnTimer = true;
        GiveInputATurn();
        return;
    }
    m_window.PostStep();
}

// Lets input and paint in before the next flush step and the next reads, by timer. While text
// waits, the view's own paint stays with the flush steps, which split it when it is dear; the
// message loop would paint it whole before the timer comes.
void CFlushScheduler::GiveInputATurn()
{
    if (!m_pipe.Empty()) {
        m_viewPaintHeld = m_viewPaintHeld || m_view.NeedsPaint();
        m_window.ValidateView();
    }
    m_window.SetTimer(kTurnTimer, 0);
}

void CFlushScheduler::OnTimer(uintptr_t id)
{
    if (id == kShedTimer) {
        m_window.KillTimer(kShedTimer);
        m_pipe.ShedIdle();
        return;
    }
    if (id != kTurnTimer)
        return;
    m_window.KillTimer(kTurnTimer);
    if (m_viewPaintHeld)
        m_window.InvalidateView();
    m_viewPaintHeld = false;
    m_pipe.EndTurn();
    // Only the flush's own turn goes on flushing: a turn the reads asked for while flush steps
    // were posted would start a second chain of them.
    if (std::exchange(m_flushOnTimer, false))
        Step();
}

// The save has written its file or was cancelled: the oldest text may go again, and text that
// waited for room flows on.
void CFlushScheduler::EndKeepingView()
{
    m_view.KeepAll(false);
    if (std::exchange(m_flushWaitsForSave, false))
        m_window.PostStep();
}

// Text still waiting to be shown arrived before the click, so it goes too.
void CFlushScheduler::Clear()
{
    m_pipe.Clear();
    m_view.Clear();
}
