#include "log/view_rows.h"

#include <algorithm>

#include "log/text_cut.h"
#include "log/view_breaks.h"

namespace {
// Characters past the last that fits that the word-break rule may look at.
constexpr size_t kLookAhead = 8;
// Characters of a row measured at first: more than a row of the narrowest letters holds.
constexpr size_t kFirstReach = 512;

// Between ASCII letters and digits a row may never end: the control's word-break rule (Unicode's
// line breaking) then need not be asked, which spares a run of letters a call for every row.
bool OnlyAsciiLettersAndDigits(std::wstring_view text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    });
}
} // namespace

size_t CharsThatFit(std::wstring_view row, const int* widths, int rowWidth, int tabWidth)
{
    long long x = 0;
    for (size_t i = 0; i < row.size(); ++i) {
        const long long width = row[i] == L'\t' && tabWidth > 0 ? tabWidth - x % tabWidth : widths[i];
        x += width;
        if (x > rowWidth)
            return i;
    }
    return row.size();
}

size_t RowEnd(std::wstring_view row, size_t fit, const unsigned char* softBreaks)
{
    for (size_t end = std::min(fit, row.size() - 1); end > 0; --end) {
        if (softBreaks[end])
            return end;
    }
    size_t end = fit > 1 ? fit - 1 : 1;
    if (end < row.size() && IsLowSurrogate(row[end]) && IsHighSurrogate(row[end - 1]))
        end = end > 1 ? end - 1 : end + 1;
    return end;
}

CViewRows::Append CViewRows::Plan(std::wstring_view text, CRowMeasure& measure) const
{
    // The last paragraph so far, then the text; most often the paragraph is empty (the text
    // before ended its line), and the text is looked at where it lies.
    CString joined;
    std::wstring_view work = text;
    if (!m_row.empty()) {
        joined.reserve(m_row.size() + text.size());
        joined.append(m_row).append(text);
        work = joined;
    }
    const int rowWidth = measure.RowWidth();
    const int plannedWidth = std::max(1, rowWidth - measure.RowMargin());
    const int tabWidth = measure.TabWidth();

    std::vector<size_t> breaks; // where the view ends rows, in `work`
    std::vector<size_t> rowEnds;
    std::vector<int> widths;
    std::vector<unsigned char> soft;
    bool rowsEnded = m_rowsEnded;
    size_t paragraph = 0; // where the last paragraph starts
    for (;;) {
        const size_t lineFeed = work.find(L'\n', paragraph);
        size_t end = lineFeed == std::wstring_view::npos ? work.size() : lineFeed;
        // A CR before the LF belongs to the line break; one at the very end may yet turn out to,
        // when the next text begins with LF.
        if (end > paragraph && work[end - 1] == L'\r')
            --end;
        // The paragraph's rows as the control would lay them out. A row's characters are
        // measured as far as a row can reach, which the first look almost always covers.
        rowEnds.clear();
        for (size_t row = paragraph; rowWidth > 0;) {
            const std::wstring_view rest = work.substr(row, end - row);
            // A line that fits the whole width stays as it came; the rows of a wider one fit
            // the planned width.
            const bool whole = row == paragraph && !rowsEnded;
            size_t fit = 0;
            for (size_t reach = std::min(rest.size(), kFirstReach);; reach = std::min(rest.size(), 2 * reach)) {
                widths.resize(reach);
                measure.Widths(rest.substr(0, reach), widths.data());
                fit = CharsThatFit(rest.substr(0, reach), widths.data(), whole ? rowWidth : plannedWidth, tabWidth);
                if (fit < reach || reach == rest.size())
                    break;
            }
            if (fit >= rest.size())
                break;
            if (whole && plannedWidth < rowWidth)
                fit = CharsThatFit(rest.substr(0, widths.size()), widths.data(), plannedWidth, tabWidth);
            const std::wstring_view near = rest.substr(0, std::min(rest.size(), fit + kLookAhead));
            soft.assign(near.size(), 0);
            if (!OnlyAsciiLettersAndDigits(near))
                measure.SoftBreaks(near, soft.data());
            row += RowEnd(rest, fit, soft.data());
            rowEnds.push_back(row);
        }
        rowsEnded = rowsEnded || rowEnds.size() >= kMostRows;
        if (rowsEnded)
            breaks.insert(breaks.end(), rowEnds.begin(), rowEnds.end());
        if (lineFeed == std::wstring_view::npos) {
            if (rowsEnded && !rowEnds.empty())
                paragraph = rowEnds.back();
            break;
        }
        paragraph = lineFeed + 1;
        rowsEnded = false;
    }

    Append plan;
    plan.lastRow = CString(work.substr(paragraph));
    plan.rowsEnded = rowsEnded;
    if (breaks.empty()) {
        plan.asSent = true;
        return plan;
    }
    // The text goes in after what stays of the last paragraph: all of it, unless a row ends in it.
    const size_t keep = std::min(breaks.front(), m_row.size());
    plan.replaced = m_row.size() - keep;
    plan.text.reserve(work.size() - keep + kViewBreak.size() * breaks.size());
    plan.breaks.reserve(breaks.size());
    size_t from = keep;
    for (const size_t at : breaks) {
        plan.text.append(work.substr(from, at - from));
        plan.breaks.push_back(plan.text.size());
        plan.text.append(kViewBreak);
        from = at;
    }
    plan.text.append(work.substr(from));
    return plan;
}

void CViewRows::Trimmed(size_t remaining)
{
    if (remaining < m_row.size())
        m_row.erase(0, m_row.size() - remaining);
}
