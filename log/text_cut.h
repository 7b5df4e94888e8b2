#pragma once
// Where a text for the log view may be cut in two, so that a long text goes into the view over
// several appends: never inside a surrogate pair (half a character would show as garbage) and
// never between CR and LF (the view would show two line breaks where the sender put one).
#include <cstddef>
#include <string_view>

inline bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

inline bool IsLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The cut nearest `at` that keeps characters and CR LF whole: `at` itself when that is safe,
// else one before it, or one after it when one before would be the very start. Never past the
// text's end; 0 only for an empty text or `at` of 0.
size_t SafeCut(std::wstring_view text, size_t at);
