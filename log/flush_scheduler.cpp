#include "log/flush_scheduler.h"

#include <algorithm>
#include <utility>

CFlushScheduler::CFlushScheduler(CLogPipe& pipe, CThreadTurns& turns, View& view, Window& window)
    : m_pipe(pipe), m_turns(turns), m_view(view), m_window(window)
{
}

// The pipe wakes the window when text starts waiting.
void CFlushScheduler::ConnectPipe()
{
    m_pipe.Connect([this] { m_window.PostStep(); },
                   [this](double afterMs) { m_window.SetTimer(Window::kShedTimer, unsigned(afterMs) + 1); });
    m_turns.Connect();
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

    const double start = m_turns.Now();
    if (m_turns.PaintsNext(start, m_view.NeedsPaint())) {
        m_view.PaintBand(m_turns.Paint().Band(), m_turns.Paint().Bands());
        const double end = m_turns.Now();
        m_turns.BandPainted(end, end - start);
    } else if (m_pipe.MakingFirst()) {
        m_pipe.MakeStep();
    } else if (!m_view.MakeRoomFor(m_pipe.NextSliceChars(most))) {
        const CString slice = m_pipe.TakeSlice(most);
        m_view.Append(slice);
        m_pipe.RecordAppend(slice.size(), m_turns.Now() - start);
    }
    NextStep();
}

// Asks for the next step while text waits: posted, unless input goes first (the turn's end
// then carries it).
void CFlushScheduler::NextStep()
{
    if (m_pipe.Empty() || m_turns.InputGoesFirst())
        return;
    m_window.PostStep();
}

void CFlushScheduler::OnTimer(uintptr_t id)
{
    if (id == Window::kShedTimer) {
        m_window.KillTimer(Window::kShedTimer);
        m_pipe.ShedIdle();
        return;
    }
    if (id == Window::kTurnTimer && m_turns.EndTurn())
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
