#pragma once
// The line breaks the log view put in on its own (CViewRows), where a line reached a row's width.
// The view shows them; a copy and a saved log must not hold them, since both give the text as
// clients sent it. They stay right when the oldest text goes, and go when the view is cleared.
#include <cstddef>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/cstring.h"

// The view ends a row with the edit control's own soft line break: CR CR LF. The control shows
// it as a row's end, as it does CR LF, and a reader of the view's text from outside the console
// can tell it from the CR LF that clients send.
inline constexpr std::wstring_view kViewBreak = L"\r\r\n";

class CViewBreaks {
public:
    // The view put kViewBreak at `at`, its first CR there; later than any before.
    void Add(size_t at);
    // The oldest `chars` characters of the view went: the breaks among them go, the others
    // move up by as much.
    void Trimmed(size_t chars);
    // The view was emptied; the memory the list took goes too.
    void Clear();

    size_t Count() const { return m_at.size(); }
    // Whether the view put the break that starts at `at`.
    bool At(size_t at) const;
    // Where each break stands in the view now, in order.
    std::vector<size_t> Positions() const;
    // The characters `from` to `to` of the view (`viewText`, from its start) as clients sent
    // them: without the view's breaks, nor the part of one that the range cuts.
    CString SentText(std::wstring_view viewText, size_t from, size_t to) const;
    // Takes the breaks out of `viewText`, the view's text from its start, in place. A position
    // that holds no break is left alone.
    void RemoveFrom(CString& viewText) const;

private:
    template <class Keep>
    void ForEachSentStretch(std::wstring_view view, size_t from, size_t to, Keep keep) const;

    // Positions counted from the view's first character ever, so that a trim moves none of
    // them: the view's start is m_trimmed characters into that count.
    std::deque<size_t> m_at;
    size_t m_trimmed = 0;
};
