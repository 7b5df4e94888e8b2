#include "log/text_cut.h"

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
    if (at >= text.size())
        return text.size();
    if (at == 0 || !SplitsAPair(text, at))
        return at;
    // One step back lands before the pair; a pair's two halves never stand next to another pair
    // that this would split, since a high surrogate or CR is never the second half.
    return at > 1 ? at - 1 : at + 1;
}
