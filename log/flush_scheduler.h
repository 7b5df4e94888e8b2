#pragma once
// When and how the window takes the text that waits in the pipe into the log view: one bounded
// step per posted message, with the view's paint paced and split into bands, and turns for the
// operator's input. Windowless: the view, the window and the clock are given to it, so that
// tests drive it with fakes.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "log/log_pipe.h"
#include "log/paint_pacer.h"
#include "platform/cstring.h"

class CFlushScheduler {
public:
    // While input waits, the flush gives it a turn at most this often.
    static constexpr double kInputTurnMs = 250.0;
    // The window's timers, by id. Flush steps and reads go on behind the operator's input:
    // timer messages come after input and paint.
    static constexpr uintptr_t kTurnTimer = 1;
    // Readers waiting for room look again whether idle frames may be shed for them.
    static constexpr uintptr_t kShedTimer = 2;

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

    // The window's side effects.
    class Window {
    public:
        // Posts the message that makes the next step: it comes before input, paint and timers.
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

    // `nowMs`: milliseconds on any steady clock.
    CFlushScheduler(CLogPipe& pipe, View& view, Window& window, std::function<double()> nowMs);

    // Has the pipe wake the window, ask it for turns and for the shed timer through this.
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
    void GiveInputATurn();

    CLogPipe& m_pipe;
    View& m_view;
    Window& m_window;
    std::function<double()> m_nowMs;
    bool m_viewPaintHeld = false;     // the view needs painting, kept back while input goes first
    bool m_flushOnTimer = false;      // the turn timer also carries the next flush step
    bool m_flushWaitsForSave = false; // the flush stopped at a full view that a save keeps whole
    double m_lastInputTurnMs = -kInputTurnMs;
    CPaintPacer m_paintPacer;
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
