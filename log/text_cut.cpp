#include "log/text_cut.h"

#include <algorithm>

namespace {
bool SplitsAPair(std::wstring_view text, size_t at)
{
    const wchar_t before = text[at - 1];
    const wchar_t after = text[at];
    return (IsHighSurrogate(before) && IsLowSurrogate(after)) || (before == L'\r' && after == L'\n');
}
} // namespace

size_t SafeCut(std::wstring_view text, size_t at)
{
    // A cut at either end, or one that splits no pair, stays where it is.
    if (at == 0 || at >= text.size() || !SplitsAPair(text, at))
        return std::min(at, text.size());
    // One step back lands before the pair; a pair's two halves never stand next to another pair
    // that this would split, since a high surrogate or CR is never the second half.
    return at > 1 ? at - 1 : at + 1;
}

namespace {
bool IsContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The longest UTF-8 sequence has a lead byte and three continuation bytes.
constexpr size_t kMostContinuations = 3;
} // namespace

size_t Utf8Cut(std::string_view bytes, size_t at)
{
    if (at == 0 || at >= bytes.size() || !IsContinuation(bytes[at]))
        return std::min(at, bytes.size());
    size_t start = at;
    while (start > 0 && at - start < kMostContinuations && IsContinuation(bytes[start]))
        --start;
    if (IsContinuation(bytes[start]))
        return at; // no lead byte near enough, or none at all: invalid wherever it is cut
    if (start > 0)
        return start;
    // The sequence starts the bytes: cut after it, so that a piece is never empty.
    size_t end = at + 1;
    while (end < bytes.size() && end - start <= kMostContinuations && IsContinuation(bytes[end]))
        ++end;
    return end;
}
