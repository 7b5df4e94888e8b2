#include "log/view_capacity.h"

size_t OldestLinesToTrim(std::wstring_view view, size_t incoming, size_t capacity, size_t trimmedTo)
{
    if (view.size() + incoming <= capacity)
        return 0;
    if (view.size() + incoming <= trimmedTo)
        return 0; // a capacity below the trimmed size: nothing sensible to cut
    const size_t least = view.size() + incoming - trimmedTo;
    if (least >= view.size())
        return view.size();
    // The cut comes after the end of the line that holds the last character that must go.
    const size_t lineEnd = view.find(L'\n', least - 1);
    return lineEnd == std::wstring_view::npos ? view.size() : lineEnd + 1;
}
