#pragma once
// Text for the view, and the view's text taken apart, for the tests of the view on the host and
// under Wine: no window needed.
#include <string>
#include <vector>

// A line of `width` characters, CR LF included: `label`, its number and a space, then `fill`, so
// that a line cut or out of place shows which one it was.
inline std::wstring NumberedLine(const std::wstring& label, int number, wchar_t fill = L'.', size_t width = 100)
{
    std::wstring line = label + std::to_wstring(number) + L" ";
    line.resize(width - 2, fill);
    return line + L"\r\n";
}

// Lines 0 to count - 1 of that kind, one after the other.
inline std::wstring NumberedLines(int count, const std::wstring& label = L"", wchar_t fill = L'.')
{
    std::wstring text;
    for (int i = 0; i < count; ++i)
        text += NumberedLine(label, i, fill);
    return text;
}

// A text cut at every CR LF: the view's rows, when the text sent had no line breaks of its own.
inline std::vector<std::wstring> RowsOf(const std::wstring& text)
{
    std::vector<std::wstring> rows;
    size_t from = 0;
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", from)) {
        rows.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    rows.push_back(text.substr(from));
    return rows;
}
