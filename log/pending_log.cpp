#include "log/pending_log.h"

#include <algorithm>

bool CPendingLog::Add(CString text)
{
    const bool wasEmpty = m_texts.empty();
    m_chars += text.size();
    m_texts.push_back(std::move(text));
    return wasEmpty;
}

CString CPendingLog::Take(size_t budget)
{
    CString slice;
    size_t size = 0;
    auto end = m_texts.begin();
    for (; end != m_texts.end(); ++end) {
        if (end != m_texts.begin() && size + end->size() > budget)
            break;
        size += end->size();
    }
    slice.reserve(size);
    for (auto it = m_texts.begin(); it != end; ++it)
        slice += *it;
    m_texts.erase(m_texts.begin(), end);
    m_chars -= size;
    return slice;
}

CString CPendingLog::TakeSlice(size_t most)
{
    return Take(std::min(m_sliceChars, most));
}

size_t CPendingLog::NextSliceChars(size_t most) const
{
    if (m_texts.empty())
        return 0;
    return std::min(m_chars, std::max(std::min(m_sliceChars, most), m_texts.front().size()));
}

CString CPendingLog::TakeAll()
{
    return Take(m_chars);
}

void CPendingLog::Clear()
{
    m_texts.clear();
    m_chars = 0;
}

void CPendingLog::RecordAppend(size_t chars, double milliseconds)
{
    // A slice that was not full says nothing about what a full one would cost.
    if (chars < m_sliceChars / 2 && milliseconds < kTargetMs)
        return;
    // An append costs a part that grows with the view plus a part per character. Scaling the
    // slice by target / cost settles where a full slice costs the target; one step at most
    // halves or doubles it, so a single slow append (the machine was busy) does little harm.
    const double factor = std::clamp(kTargetMs / std::max(milliseconds, 0.001), 0.5, 2.0);
    const double scaled = static_cast<double>(m_sliceChars) * factor;
    m_sliceChars = std::clamp(static_cast<size_t>(scaled), kMinSlice, kMaxSlice);
}
