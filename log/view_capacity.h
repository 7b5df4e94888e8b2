#pragma once
// How much the log view holds. Wine's edit control pays, on every append and every paint, a
// cost that grows with the text it holds (it re-counts the text and walks its list of lines);
// past the capacity a single flush step would keep the window from answering within 100 ms.
// When an append would pass it, the oldest whole lines go, a quarter of the capacity or more at
// once, so that the removal (itself a pass over the text) comes seldom.
#include <cstddef>
#include <string_view>

// Characters the view holds at most.
constexpr size_t kViewCapacityChars = 24u * 1024 * 1024;

// How many characters at the start of `view` must go before `incoming` more are appended: 0
// when all fits within `capacity`; otherwise whole lines (each ending in '\n') up to a line end,
// so that what stays plus `incoming` comes to at most three quarters of `capacity`. The whole
// view goes when no line ends late enough, e.g. when `incoming` alone fills the view.
size_t OldestLinesToTrim(std::wstring_view view, size_t incoming, size_t capacity);
