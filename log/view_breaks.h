#pragma once
// The line breaks the log view put in on its own (CViewRows), where a run without a line break
// reached a row's width. The view shows them; a saved log must not hold them, since the file
// holds the text as clients sent it. They stay right when the oldest text goes, and go when the
// view is cleared.
#include <cstddef>
#include <deque>
#include <vector>

#include "platform/cstring.h"

class CViewBreaks {
public:
    // The view put CR LF at `at`, its CR there and its LF after it; later than any before.
    void Add(size_t at);
    // The oldest `chars` characters of the view went: the breaks among them go, the others
    // move up by as much.
    void Trimmed(size_t chars);
    // The view was emptied; the memory the list took goes too.
    void Clear();

    size_t Count() const { return m_at.size(); }
    // Whether the view put the CR LF that starts at `at`.
    bool At(size_t at) const;
    // Where each break stands in the view now, in order.
    std::vector<size_t> Positions() const;
    // Takes the breaks out of `viewText`, the view's text from its start, in place: what is
    // left is the text as it was sent. A position that holds no CR LF is left alone.
    void RemoveFrom(CString& viewText) const;

private:
    // Positions counted from the view's first character ever, so that a trim moves none of
    // them: the view's start is m_trimmed characters into that count.
    std::deque<size_t> m_at;
    size_t m_trimmed = 0;
};
