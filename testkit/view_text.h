#pragma once
// Text for the view, and the view's text taken apart, for the tests of the view on the host and
// under Wine: no window needed.
#include <string>
#include <string_view>
#include <vector>

#include "log/view_breaks.h"

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

// Calls row(text) for each stretch of the view's text between the row ends that the view put in
// itself (kViewBreak), in order.
template <class Row>
void ForEachViewRow(std::wstring_view viewText, Row row)
{
    size_t from = 0;
    for (size_t at = viewText.find(kViewBreak); at != std::wstring_view::npos; at = viewText.find(kViewBreak, from)) {
        row(viewText.substr(from, at - from));
        from = at + kViewBreak.size();
    }
    row(viewText.substr(from));
}

// The view's text, as a reader outside the console reads it, as clients sent it: without the
// row ends that the view put in itself, every other character kept. Every check that reads the
// view from outside compares through this, so that it checks every character.
inline std::wstring AsSent(std::wstring_view viewText)
{
    std::wstring sent;
    sent.reserve(viewText.size());
    ForEachViewRow(viewText, [&](std::wstring_view row) { sent.append(row); });
    return sent;
}

// The view's text cut at every row end of its own: its rows, when the text sent had no line
// breaks of its own.
inline std::vector<std::wstring> RowsOf(std::wstring_view viewText)
{
    std::vector<std::wstring> rows;
    ForEachViewRow(viewText, [&](std::wstring_view row) { rows.emplace_back(row); });
    return rows;
}
