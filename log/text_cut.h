#pragma once
// Where a text for the log view may be cut in two, so that a long text goes into the view over
// several appends: never inside a surrogate pair (half a character would show as garbage) and
// never between CR and LF (the view would show two line breaks where the sender put one).
// Also where a frame's UTF-8 payload may be cut, so that it is decoded a piece at a time.
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

// The cut nearest `at` that keeps UTF-8 sequences whole: `at` itself when the byte there starts
// a sequence, else the start of the sequence it is in, or that sequence's end when its start is
// the very start. Valid UTF-8 is thus cut only between characters, so its pieces decode to what
// the whole does, and a payload with an invalid sequence has it in one of its pieces. More than
// three continuation bytes in a row are invalid wherever they are cut: cut at `at`. Never past
// the end; 0 only for empty bytes or `at` of 0.
size_t Utf8Cut(std::string_view bytes, size_t at);
