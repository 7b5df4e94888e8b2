#include "log/view_breaks.h"

#include <algorithm>
#include <cwchar>

void CViewBreaks::Add(size_t at)
{
    m_at.push_back(m_trimmed + at);
}

void CViewBreaks::Trimmed(size_t chars)
{
    m_trimmed += chars;
    // A break goes with the CR it starts with: a cut never falls inside one.
    while (!m_at.empty() && m_at.front() < m_trimmed)
        m_at.pop_front();
}

void CViewBreaks::Clear()
{
    std::deque<size_t>().swap(m_at);
    m_trimmed = 0;
}

bool CViewBreaks::At(size_t at) const
{
    return std::binary_search(m_at.begin(), m_at.end(), m_trimmed + at);
}

std::vector<size_t> CViewBreaks::Positions() const
{
    std::vector<size_t> positions;
    positions.reserve(m_at.size());
    for (const size_t at : m_at)
        positions.push_back(at - m_trimmed);
    return positions;
}

// Calls keep(start, end) for each stretch of view[from, to) that is not a break of the view's,
// in order.
template <class Keep>
void CViewBreaks::ForEachSentStretch(std::wstring_view view, size_t from, size_t to, Keep keep) const
{
    to = std::min(to, view.size());
    from = std::min(from, to);
    // The first break that may reach into the range starts up to two characters before it.
    auto it = std::lower_bound(m_at.begin(), m_at.end(), m_trimmed + (from >= 2 ? from - 2 : 0));
    size_t next = from; // what is not looked at yet
    for (; it != m_at.end() && *it - m_trimmed < to; ++it) {
        const size_t at = *it - m_trimmed;
        if (view.substr(at, kViewBreak.size()) != kViewBreak)
            continue;
        if (at > next)
            keep(next, at);
        next = std::max(next, std::min(to, at + kViewBreak.size()));
    }
    if (next < to)
        keep(next, to);
}

CString CViewBreaks::SentText(std::wstring_view viewText, size_t from, size_t to) const
{
    CString sent;
    sent.reserve(std::min(to, viewText.size()) - std::min(from, viewText.size()));
    ForEachSentStretch(viewText, from, to,
                       [&](size_t start, size_t end) { sent.append(viewText.substr(start, end - start)); });
    return sent;
}

// In place: a whole view's text is large, and a copy of it would double what a save holds.
void CViewBreaks::RemoveFrom(CString& viewText) const
{
    wchar_t* const text = viewText.data();
    size_t to = 0;
    ForEachSentStretch(viewText, 0, viewText.size(), [&](size_t start, size_t end) {
        std::wmemmove(text + to, text + start, end - start);
        to += end - start;
    });
    viewText.resize(to);
}
