#pragma once
// How the window takes the text that waits in the pipe into the log view: one bounded step per
// posted message, each a band of the view's paint, a piece of a large frame's decoding, room
// made in the view or one slice appended. When the view paints and when input goes before the
// next step, the thread's turns decide (CThreadTurns). Windowless: the view, the window and the
// clock are given to it, so that tests drive it with fakes.
#include <cstddef>
#include <cstdint>

#include "log/log_pipe.h"
#include "log/thread_turns.h"
#include "platform/cstring.h"

class CFlushScheduler {
public:
    // The log view as the flush sees it (CLogView on Windows).
    class View {
    public:
        virtual size_t Capacity() const = 0;
        // Characters that fit before the capacity is reached.
        virtual size_t Room() const = 0;
        virtual bool KeepsAll() const = 0;
        virtual void KeepAll(bool keep) = 0;
        virtual bool NeedsPaint() const = 0;
        virtual void PaintBand(int band, int bands) = 0;
        // Removes the oldest text when `incoming` more would pass the capacity; whether any went.
        virtual bool MakeRoomFor(size_t incoming) = 0;
        virtual void Append(const CString& text) = 0;
        virtual void Clear() = 0;

    protected:
        ~View() = default;
    };

    using Window = CThreadTurns::Window;

    // Steps are timed by the clock that `turns` keeps.
    CFlushScheduler(CLogPipe& pipe, CThreadTurns& turns, View& view, Window& window);

    // Has the pipe wake the window and ask it for the shed timer through this, and its reads
    // take their turns.
    void ConnectPipe();
    // A status line for the view, in its place behind the text that waits.
    void Append(CString text);
    // One bounded step of the flush (the posted message has come).
    void Step();
    // One of the window's timers has come.
    void OnTimer(uintptr_t id);
    // Ends a save's hold on the view: the oldest text may go again.
    void EndKeepingView();
    // Empties the view and drops what waits for it.
    void Clear();

private:
    void NextStep();

    CLogPipe& m_pipe;
    CThreadTurns& m_turns;
    View& m_view;
    Window& m_window;
    bool m_flushWaitsForSave = false; // the flush stopped at a full view that a save keeps whole
};

// Any view with the members the flush needs, such as the window's CLogView, as a View.
template <class ViewT>
class CFlushViewOf final : public CFlushScheduler::View {
public:
    explicit CFlushViewOf(ViewT& view) : m_view(view) {}
    size_t Capacity() const override { return m_view.Capacity(); }
    size_t Room() const override { return m_view.Room(); }
    bool KeepsAll() const override { return m_view.KeepsAll(); }
    void KeepAll(bool keep) override { m_view.KeepAll(keep); }
    bool NeedsPaint() const override { return m_view.NeedsPaint(); }
    void PaintBand(int band, int bands) override { m_view.PaintBand(band, bands); }
    bool MakeRoomFor(size_t incoming) override { return m_view.MakeRoomFor(incoming); }
    void Append(const CString& text) override { m_view.Append(text); }
    void Clear() override { m_view.Clear(); }

private:
    ViewT& m_view;
};
