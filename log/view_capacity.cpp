#include "log/view_capacity.h"

#include "log/text_cut.h"
#include "log/view_breaks.h"

size_t OldestLinesToTrim(std::wstring_view view, size_t incoming, size_t capacity, const CViewBreaks* viewBreaks)
{
    if (view.size() + incoming <= capacity)
        return 0;
    const size_t trimmedTo = capacity / 4 * 3;
    const size_t least = view.size() + incoming - trimmedTo;
    if (least >= view.size())
        return view.size();
    // The cut comes after the end of the line that holds the last character that must go, unless
    // that line runs on far past it.
    const size_t latest = least - 1 + capacity / 8; // where the line must end at the latest
    for (size_t lineEnd = view.find(L'\n', least - 1); lineEnd <= latest; lineEnd = view.find(L'\n', lineEnd + 1)) {
        if (!viewBreaks || lineEnd < kViewBreak.size() - 1 || !viewBreaks->At(lineEnd - (kViewBreak.size() - 1)))
            return lineEnd + 1;
    }
    return SafeCut(view, least);
}
