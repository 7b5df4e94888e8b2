#pragma once
// How much the log view holds. Wine's edit control pays, on every append and every paint, a
// cost that grows with the text it holds (it re-counts the text and walks its list of lines);
// past the capacity a single flush step would keep the window from answering within 100 ms.
// When an append would pass it, the oldest text goes, a quarter of the capacity or more at
// once, so that the removal (itself a pass over the text) comes seldom.
#include <cstddef>
#include <string_view>

// Characters the view holds at most.
constexpr size_t kViewCapacityChars = 24u * 1024 * 1024;

class CViewBreaks;

// How many characters at the start of `view` must go before `incoming` more are appended: 0
// when all fits within `capacity`; otherwise enough that what stays plus `incoming` comes to at
// most three quarters of `capacity`. The cut comes after a line end ('\n') when one lies within
// an eighth of the capacity past the least that must go; otherwise the oldest line is longer
// than that and is itself cut, at a safe place, so that the newest text stays rather than the
// whole view going. The whole view goes only when `incoming` alone comes to three quarters.
// The line breaks the view put in itself (`viewBreaks`) end no line: they stand inside one.
size_t OldestLinesToTrim(std::wstring_view view, size_t incoming, size_t capacity,
                         const CViewBreaks* viewBreaks = nullptr);
