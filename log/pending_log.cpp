#include "log/pending_log.h"

#include <algorithm>
#include <string_view>

#include "log/text_cut.h"
#include "log/thread_turns.h"

namespace {
// One step of a learned limit towards where an append costs the target: by target / cost, at
// most halving or doubling it, so that a single slow append (the machine was busy) does little
// harm.
double TowardsTarget(double milliseconds)
{
    return std::clamp(CThreadTurns::kAppendStepMs / std::max(milliseconds, 0.001), 0.5, 2.0);
}
} // namespace

bool CPendingLog::Add(CString text)
{
    if (text.empty())
        return false;
    const bool wasEmpty = m_texts.empty();
    m_texts.push_back(Waiting{std::move(text), nullptr});
    m_chars += m_texts.back().text.size(); // counted once queued: a failed push leaves the count true
    return wasEmpty;
}

bool CPendingLog::Add(std::unique_ptr<CTextInMaking> making)
{
    if (!making)
        return false;
    const bool wasEmpty = m_texts.empty();
    m_texts.push_back(Waiting{CString(), std::move(making)});
    m_makingChars += m_texts.back().making->MostChars();
    m_makingBytes += m_texts.back().making->HeldBytes();
    return wasEmpty;
}

void CPendingLog::MakeStep()
{
    if (!MakingFirst())
        return;
    Waiting& first = m_texts.front();
    const size_t heldBefore = first.making->HeldBytes();
    const bool made = first.making->Step();
    m_makingBytes = m_makingBytes - heldBefore + first.making->HeldBytes();
    if (!made)
        return;
    m_makingChars -= first.making->MostChars();
    m_makingBytes -= first.making->HeldBytes();
    first.text = first.making->Take();
    first.making.reset();
    m_chars += first.text.size();
    if (first.text.empty())
        m_texts.pop_front(); // nothing to show
}

CString CPendingLog::TakeSlice(size_t most)
{
    const size_t budget = std::max<size_t>(1, std::min(m_sliceChars, most));
    CString slice;
    while (!MakingFirst() && !m_texts.empty() && slice.size() < budget) {
        const CString& front = m_texts.front().text;
        const std::wstring_view rest(front.data() + m_frontTaken, front.size() - m_frontTaken);
        size_t take = std::min(rest.size(), budget - slice.size());
        if (take < rest.size())
            take = SafeCut(rest, take);
        if (take == 0 && !slice.empty())
            break;
        if (take == 0)
            take = SafeCut(rest, 1);
        slice.append(rest.substr(0, take));
        m_chars -= take;
        if (take < rest.size()) {
            m_frontTaken += take;
            break;
        }
        m_texts.pop_front();
        m_frontTaken = 0;
    }
    return slice;
}

size_t CPendingLog::NextSliceChars(size_t most) const
{
    return std::min(m_chars, std::max<size_t>(1, std::min(m_sliceChars, most)));
}

CString CPendingLog::Peek() const
{
    CString all;
    all.reserve(m_chars);
    size_t taken = m_frontTaken;
    for (const Waiting& waiting : m_texts) {
        if (waiting.making)
            all.append(waiting.making->Whole());
        else
            all.append(std::wstring_view(waiting.text).substr(taken));
        taken = 0;
    }
    return all;
}

void CPendingLog::Clear()
{
    m_texts.clear();
    m_frontTaken = 0;
    m_chars = 0;
    m_makingChars = 0;
    m_makingBytes = 0;
}

void CPendingLog::RecordAppend(size_t chars, double milliseconds)
{
    // A slice that was not full says nothing about what a full one would cost.
    if (chars < m_sliceChars / 2 && milliseconds < CThreadTurns::kAppendStepMs)
        return;
    // An append costs a part that grows with the view plus a part per character. Scaling the
    // slice by target / cost settles where a full slice costs the target.
    const double scaled = static_cast<double>(m_sliceChars) * TowardsTarget(milliseconds);
    m_sliceChars = std::clamp(static_cast<size_t>(scaled), kMinSlice, kMaxSlice);
}
