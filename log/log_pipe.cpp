#include "log/log_pipe.h"

#include <algorithm>
#include <chrono>
#include <vector>

CLogPipe::Reader::Reader(CLogPipe& pipe, ResumeReading resume, std::function<void()> drop)
    : m_pipe(pipe), m_resume(std::move(resume)), m_drop(std::move(drop)), m_activeMs(pipe.Now())
{
    m_pipe.m_readers.push_back(this);
}

CLogPipe::Reader::~Reader()
{
    m_pipe.Leave(*this);
}

size_t CLogPipe::Reader::MayRead(size_t frameLength, size_t wanted)
{
    if (m_dropped)
        return 0;
    if (SetFrame(frameLength))
        m_pipe.ResumeThoseWhoMay();
    if (m_paused)
        return 0;
    m_pipe.UpdateFlow();
    if (!m_pipe.MayGoOn(*this) && !m_pipe.ShedFor(*this)) {
        m_pipe.Pause(*this);
        return 0;
    }
    m_waitingMs = -1;
    if (Large() && !m_admitted) {
        m_admitted = true;
        m_pipe.m_largeBytes += m_frameLength;
    }
    // While the large frames' share is taken, a reader between frames reads no more than a
    // small frame at a time: a large frame it starts cannot hold more than that while it waits.
    if (!Large() && m_pipe.m_largeBytes + kSmallFrameBytes > kLargeBytes)
        wanted = std::min(wanted, kSmallFrameBytes);
    return wanted;
}

void CLogPipe::Reader::Holding(size_t bytes, size_t frameLength)
{
    if (m_dropped)
        return;
    m_activeMs = m_pipe.Now();
    const bool freed = bytes < m_held;
    m_pipe.m_framesBytes -= m_held;
    m_held = bytes;
    m_pipe.m_framesBytes += m_held;
    if (SetFrame(frameLength) || freed)
        m_pipe.ResumeThoseWhoMay();
}

// A new frame (or none): what the last one set aside is free again. True when it set any aside.
bool CLogPipe::Reader::SetFrame(size_t frameLength)
{
    if (frameLength == m_frameLength)
        return false;
    const bool released = m_admitted;
    if (m_admitted)
        m_pipe.m_largeBytes -= m_frameLength;
    m_admitted = false;
    m_frameLength = frameLength;
    return released;
}

void CLogPipe::Connect(std::function<void()> wake, std::function<void(double)> askRecheck)
{
    m_wake = std::move(wake);
    m_askRecheck = std::move(askRecheck);
    m_recheckAtMs = -1;
}

void CLogPipe::SetTurns(ReadTurns* turns)
{
    m_turns = turns;
    ResumeReaders();
}

void CLogPipe::Offer(CString text)
{
    Queued(m_waiting.Add(std::move(text)));
}

void CLogPipe::Offer(std::unique_ptr<CTextInMaking> making)
{
    Queued(m_waiting.Add(std::move(making)));
}

void CLogPipe::Queued(bool first)
{
    // Only the high-water mark can change here; the turn is checked before every read.
    if (Flowing() && m_waiting.Full())
        m_flow = Flow::Held;
    if (first && m_wake)
        m_wake();
}

void CLogPipe::MakeStep()
{
    m_waiting.MakeStep();
    UpdateFlow();
    ResumeThoseWhoMay();
}

CString CLogPipe::TakeSlice(size_t most)
{
    CString slice = m_waiting.TakeSlice(most);
    UpdateFlow();
    ResumeThoseWhoMay();
    return slice;
}

void CLogPipe::Clear()
{
    m_waiting.Clear();
    UpdateFlow();
    ResumeThoseWhoMay();
}

void CLogPipe::ResumeReaders()
{
    UpdateFlow();
    ResumeThoseWhoMay();
}

// Whether a reader may read now, flow control aside: a large frame under way always may; a
// large frame not yet let in may once its length fits the share; anyone else while the budget
// has room.
bool CLogPipe::MayGoOn(const Reader& reader) const
{
    if (!Flowing())
        return false;
    if (reader.m_admitted)
        return true;
    if (reader.Large())
        return m_largeBytes + reader.m_frameLength <= kLargeBytes && HeldBytes() < kBudgetBytes;
    return HeldBytes() + kSmallFrameBytes <= kBudgetBytes;
}

void CLogPipe::Pause(Reader& reader)
{
    if (reader.m_paused)
        return;
    reader.m_paused = true;
    m_paused.push_back(&reader);
}

void CLogPipe::Leave(Reader& reader)
{
    m_readers.erase(std::remove(m_readers.begin(), m_readers.end(), &reader), m_readers.end());
    m_paused.erase(std::remove(m_paused.begin(), m_paused.end(), &reader), m_paused.end());
    m_framesBytes -= reader.m_held;
    reader.m_held = 0;
    reader.SetFrame(0);
    ResumeThoseWhoMay(); // what it held or set aside is free
}

// Wakes, oldest first, the paused readers that may go on now.
void CLogPipe::ResumeThoseWhoMay()
{
    if (!Flowing() || m_paused.empty())
        return;
    std::vector<ResumeReading> wake;
    wake.reserve(m_paused.size());
    const auto goingOn = std::stable_partition(m_paused.begin(), m_paused.end(),
                                               [this](const Reader* reader) { return !MayGoOn(*reader); });
    const double now = Now();
    for (auto it = goingOn; it != m_paused.end(); ++it) {
        (*it)->m_paused = false;
        (*it)->m_activeMs = now; // the time it waited for us is not idleness of its own
        wake.push_back((*it)->m_resume);
    }
    m_paused.erase(goingOn, m_paused.end());
    for (const ResumeReading& resume : wake)
        resume();
}

// Whether the reader waits for room in the budget, which shedding idle frames makes: not for
// the flow, and not for the large frames' share, which only large frames free.
bool CLogPipe::WaitsForRoom(const Reader& reader) const
{
    if (!Flowing() || reader.m_dropped || MayGoOn(reader))
        return false;
    return !reader.Large() || reader.m_admitted || m_largeBytes + reader.m_frameLength <= kLargeBytes;
}

// Drops idle unfinished small frames, stalest first, until the waiting reader may go on (see
// kIdleMs). False when it must wait on; the window is then asked to look again once the
// stalest frame, or the reader's wait, reaches kIdleMs.
bool CLogPipe::ShedFor(Reader& waiting)
{
    if (!WaitsForRoom(waiting))
        return false;
    const double now = Now();
    if (waiting.m_waitingMs < 0)
        waiting.m_waitingMs = now;
    while (!MayGoOn(waiting)) {
        Reader* stalest = nullptr;
        for (Reader* reader : m_readers) {
            if (reader != &waiting && reader->Sheddable() && (!stalest || reader->m_activeMs < stalest->m_activeMs))
                stalest = reader;
        }
        const double waited = now - waiting.m_waitingMs;
        if (!stalest) {
            AskRecheck(kIdleMs); // frames held now may be left idle later
            return false;
        }
        const double idle = now - stalest->m_activeMs;
        if (idle < kIdleMs && waited < kIdleMs) {
            AskRecheck(kIdleMs - std::max(idle, waited));
            return false;
        }
        Drop(*stalest);
    }
    return true;
}

// As when its peer closes mid-frame: the partial frame is gone, and so is the connection.
void CLogPipe::Drop(Reader& reader)
{
    reader.m_dropped = true;
    m_framesBytes -= reader.m_held;
    reader.m_held = 0;
    reader.SetFrame(0);
    ++m_shedCount;
    if (reader.m_drop)
        reader.m_drop();
}

void CLogPipe::AskRecheck(double afterMs)
{
    const double at = Now() + afterMs;
    if (!m_askRecheck || (m_recheckAtMs >= 0 && m_recheckAtMs <= at))
        return;
    m_recheckAtMs = at;
    m_askRecheck(afterMs);
}

void CLogPipe::ShedIdle()
{
    m_recheckAtMs = -1;
    // The reader that has waited longest for room goes first; the others ask in turn once woken.
    for (Reader* reader : m_paused) {
        if (WaitsForRoom(*reader)) {
            ShedFor(*reader);
            break;
        }
    }
    ResumeThoseWhoMay();
}

// The high-water mark first, then the thread's turns, which may end the reads' turn here.
void CLogPipe::UpdateFlow()
{
    if (m_flow == Flow::Held) {
        // Only taking text makes room; whoever takes it then wakes the readers.
        if (m_waiting.HasRoom())
            m_flow = Flow::Open;
        return;
    }
    if (!Flowing())
        return; // yielding: the turn's end looks again
    if (m_waiting.Full()) {
        m_flow = Flow::Held;
        return;
    }
    if (m_turns)
        m_turns->BeforeReads();
}

double CLogPipe::Now() const
{
    if (m_nowMs)
        return m_nowMs();
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}
