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
    // A break goes with the CR it starts with: a cut never falls between CR and LF.
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

void CViewBreaks::RemoveFrom(CString& viewText) const
{
    wchar_t* const text = viewText.data();
    size_t to = 0;   // where the kept text goes
    size_t from = 0; // what is not looked at yet
    for (const size_t absolute : m_at) {
        const size_t at = absolute - m_trimmed;
        if (at + 2 > viewText.size())
            break;
        if (text[at] != L'\r' || text[at + 1] != L'\n')
            continue;
        std::wmemmove(text + to, text + from, at - from);
        to += at - from;
        from = at + 2;
    }
    std::wmemmove(text + to, text + from, viewText.size() - from);
    viewText.resize(to + viewText.size() - from);
}
