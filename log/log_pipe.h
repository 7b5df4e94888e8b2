#pragma once
// The path from the connections to the log view. Connections offer the text of each frame and
// report the memory their unfinished frames hold; the window takes the waiting text in slices.
// In between, the pipe keeps the console's memory in bounds, and asks the thread's turns
// (CThreadTurns) whether reads may have the thread now: a reader that may not read now is
// paused, and resumed through its callback once it may. log/ knows nothing of sockets: a paused
// reader is a function to call when there is room again.
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include "log/pending_log.h"
#include "platform/cstring.h"

using ResumeReading = std::function<void()>;

class CLogPipe {
public:
    // Memory for text that clients have sent and the view does not show yet, across every
    // connection: the unfinished frames plus the waiting text (two bytes a character). The
    // console is a 32-bit process: its 2 GB of addresses also hold the view (up to 50 MB of text
    // and the control's line table), and finishing a 16 MiB frame briefly takes about five times
    // its size to decode. 80 MiB keeps all of that well within the address space, while three
    // 16 MiB frames can be on their way at once with room left for everyone else.
    static constexpr size_t kBudgetBytes = 80u * 1024 * 1024;
    // Frames above this size are large. A large frame is let in whole or not at all: its
    // announced length is set aside from kLargeBytes when its first bytes come, and it then reads
    // to its end without pausing for room, so that large frames under way never wait for each
    // other. One that does not fit waits, holding no more than one read, until one finishes.
    // Clients holding large frames that never finish thus keep at most kLargeBytes from the
    // room that everyone else's small frames and the waiting text need.
    static constexpr size_t kSmallFrameBytes = 64 * 1024;
    static constexpr size_t kLargeBytes = 48u * 1024 * 1024;
    // Unfinished small frames are read as they come, so clients that each stop part-way through
    // one can fill the budget together, and then every reader waits for room that nobody frees.
    // So, as syslog servers do with idle sessions, a reader that must wait for room has the
    // connections dropped whose unfinished small frame has gone longest without new bytes, as
    // if their peers had closed mid-frame: the partial frame is discarded, since half a message
    // would mislead. One is dropped once it has had no bytes for kIdleMs (a client still
    // sending a frame of 64 KiB gets its next bytes to us well within that), or once the
    // waiting reader has itself waited kIdleMs (so that clients trickling a byte now and then
    // cannot keep others out either). Readers the console paused are not idle, nor are large
    // frames, which have their own share.
    static constexpr double kIdleMs = 2000.0;

    enum class Flow {
        Open, // readers read as their data comes
        Held, // the waiting text is at its high-water mark: readers pause until the view
              // has taken it below half
    };

    // Who gives reads their turns of the window's thread (CThreadTurns).
    class ReadTurns {
    public:
        // Told before reads: it may end their turn here (ReadsYield then says so); they then
        // wait until it calls ResumeReaders.
        virtual void BeforeReads() = 0;
        // Whether reads wait for the end of a turn they gave up; asks nothing.
        virtual bool ReadsYield() const = 0;

    protected:
        ~ReadTurns() = default;
    };

    // One connection's place in the pipe: what its unfinished frame holds, and how to wake it.
    class Reader {
    public:
        // `drop` ends the connection when the pipe sheds its idle frame; it is not called again.
        Reader(CLogPipe& pipe, ResumeReading resume, std::function<void()> drop);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        // How many bytes, up to `wanted`, the connection may read now, given the length of the
        // frame it is in the middle of (0 between frames). 0: it is paused and does not read;
        // its callback is called once it may.
        size_t MayRead(size_t frameLength, size_t wanted);
        // After a read that brought bytes: the connection's unfinished frame now holds this
        // many bytes, of a frame this long.
        void Holding(size_t bytes, size_t frameLength);
        bool Paused() const { return m_paused; }

    private:
        friend class CLogPipe;
        bool Large() const { return m_frameLength > kSmallFrameBytes; }
        bool SetFrame(size_t frameLength);
        // Holding part of a small frame while free to read: what may be shed.
        bool Sheddable() const { return !m_paused && !m_dropped && m_held > 0 && m_frameLength > 0 && !Large(); }

        CLogPipe& m_pipe;
        ResumeReading m_resume;
        std::function<void()> m_drop;
        size_t m_held = 0;
        size_t m_frameLength = 0;
        bool m_admitted = false; // a large frame whose length is set aside
        bool m_paused = false;
        bool m_dropped = false;
        double m_activeMs;       // when its frame last got bytes, or it was let read again
        double m_waitingMs = -1; // since when it waits for room; -1 while it reads
    };

    // The window is asked to take text through `wake` when text starts waiting. `askRecheck`
    // asks the window to call ShedIdle after the given milliseconds, while a reader waits for
    // room that idle frames hold but may not be shed yet.
    void Connect(std::function<void()> wake, std::function<void(double)> askRecheck = nullptr);
    // Whose turns reads take; none: reads go on whenever memory allows. Readers paused for the
    // last one's turn read on.
    void SetTurns(ReadTurns* turns);
    const ReadTurns* Turns() const { return m_turns; }
    // Milliseconds on any steady clock; tests give their own.
    void SetClock(std::function<double()> nowMs) { m_nowMs = std::move(nowMs); }

    // Text for the view, from a frame or a status line, queued behind what waits. Empty text is
    // dropped: it would show nothing.
    void Offer(CString text);
    // A text that takes several steps to make (a large frame's payload), queued in its place.
    void Offer(std::unique_ptr<CTextInMaking> making);
    // The window's side: whether the next step makes more of the first text rather than
    // appending a slice, and that step.
    bool MakingFirst() const { return m_waiting.MakingFirst(); }
    void MakeStep();
    // The window's side: the next slice for the view (see CPendingLog), and what its append cost.
    CString TakeSlice(size_t most);
    void RecordAppend(size_t chars, double milliseconds) { m_waiting.RecordAppend(chars, milliseconds); }
    size_t NextSliceChars(size_t most) const { return m_waiting.NextSliceChars(most); }
    // Everything that waits, left waiting.
    CString WaitingText() const { return m_waiting.Peek(); }
    // Drops everything that waits (the operator cleared the view).
    void Clear();
    // The reads' turn has come again: paused reads go on where memory allows.
    void ResumeReaders();
    // The time asked for by askRecheck has come: sheds idle frames for the readers that wait
    // for room, if they may be shed by now, and wakes whoever may read.
    void ShedIdle();

    bool Empty() const { return m_waiting.Empty(); }
    size_t WaitingChars() const { return m_waiting.Chars(); }
    // Memory that clients' text holds now: unfinished frames plus waiting text.
    size_t HeldBytes() const { return m_framesBytes + WaitingBytes(); }
    // What the large frames under way have set aside.
    size_t LargeBytes() const { return m_largeBytes; }
    size_t PausedCount() const { return m_paused.size(); }
    // Connections dropped so far for an idle unfinished frame.
    size_t ShedCount() const { return m_shedCount; }
    Flow State() const { return m_flow; }

private:
    size_t WaitingBytes() const { return m_waiting.Chars() * 2 + m_waiting.MakingBytes(); } // UTF-16
    // Open, and not yielding the thread.
    bool Flowing() const { return m_flow == Flow::Open && !(m_turns && m_turns->ReadsYield()); }
    bool MayGoOn(const Reader& reader) const;
    void Pause(Reader& reader);
    bool WaitsForRoom(const Reader& reader) const;
    bool ShedFor(Reader& waiting);
    void Drop(Reader& reader);
    void AskRecheck(double afterMs);
    void Leave(Reader& reader);
    // After an Offer: holds the readers at the high-water mark, wakes the window for the first text.
    void Queued(bool first);
    void ResumeThoseWhoMay();
    void UpdateFlow();
    double Now() const;

    CPendingLog m_waiting;
    Flow m_flow = Flow::Open;
    size_t m_framesBytes = 0;
    size_t m_largeBytes = 0;
    std::deque<Reader*> m_paused;
    std::vector<Reader*> m_readers; // every connection's, in the order they came
    size_t m_shedCount = 0;
    double m_recheckAtMs = -1; // when the window calls ShedIdle; -1: not asked
    ReadTurns* m_turns = nullptr;
    std::function<void()> m_wake;
    std::function<void(double)> m_askRecheck;
    std::function<double()> m_nowMs;
};
