#pragma once
// Where the log view ends rows of its own. Wine's edit control lays out again the whole
// paragraph (the text between two line breaks) that a change touches, so an append costs in
// proportion to the paragraph it extends, and a run without line breaks costs the square of its
// length. And every append that leaves any row to wrap has the control look for word breaks in
// all of its text, about 25 ms per million characters the view holds: with lines wider than
// the window that is every append, and the rate falls to a twentieth as the view fills. So the
// control wraps nothing: a line that fits in a row is left as it came, and the view ends each
// row of a wider one itself (kViewBreak), where the control would have wrapped it, so that the
// view looks as it would have.
// Needs no window: the widths come from whoever measures with the control's font.
#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/cstring.h"

// What the view's control makes of text: how wide a row is, how wide each character, and where
// its word-break rule lets a row end. The window measures; tests give their own.
class CRowMeasure {
public:
    virtual ~CRowMeasure() = default;
    // The width of a row, in pixels.
    virtual int RowWidth() const = 0;
    // How much narrower than that the rows the view ends are planned, in pixels: another
    // system's control may measure a row a little wider, and a row that it wraps again would show
    // a stray word under it. A line that fits the whole width is left as it came.
    virtual int RowMargin() const { return 0; }
    // The distance between tab stops, in pixels: a tab reaches the next one.
    virtual int TabWidth() const = 0;
    // widths[i]: the width of text[i] in pixels; of a surrogate pair, all on its first half.
    virtual void Widths(std::wstring_view text, int* widths) = 0;
    // breaks[i]: nonzero where a row may end before text[i]. `text` starts a row.
    virtual void SoftBreaks(std::wstring_view text, unsigned char* breaks) = 0;
};

// How many characters of a row fit within `rowWidth`, its characters' widths given (tabs
// reach the next multiple of `tabWidth` from the row's start); all of them when they fit.
size_t CharsThatFit(std::wstring_view row, const int* widths, int rowWidth, int tabWidth);

// Where the control ends a row of which `fit` characters fit and the next does not: after the
// last of them where a row may end (`softBreaks`); without one, it cuts the word one character
// short of what fits (Wine's control leaves that much room), never inside a surrogate pair.
// At least one character.
size_t RowEnd(std::wstring_view row, size_t fit, const unsigned char* softBreaks);

// The view's last paragraph, and the rows that text appended to it makes.
class CViewRows {
public:
    // Rows a line may take before the view ends its rows itself.
    static constexpr size_t kMostRows = 1;

    // How text goes into the view: the last `replaced` characters of the view give way to
    // `text`, which holds them again with the appended text after them, and kViewBreak at each
    // place in `breaks` (where each first CR stands in `text`). Nothing is replaced unless a row
    // that began in an earlier append ends before the new text: when a line grows past a row, or
    // a row ends at a word break that came earlier.
    // When the view ends no row, the text goes in as it came (`asSent`), without a copy.
    struct Append {
        size_t replaced = 0;
        CString text;
        std::vector<size_t> breaks;
        bool asSent = false;
        CString lastRow;        // the view's last paragraph afterwards, unfinished
        bool rowsEnded = false; // whether the view ends the rows of the line it belongs to

        // What goes into the view, for the text that was planned.
        const CString& Text(const CString& planned) const { return asSent ? planned : text; }
    };

    // The rows of `text` appended to the view as it stands; changes nothing.
    Append Plan(std::wstring_view text, CRowMeasure& measure) const;
    // The planned append went into the view.
    void Commit(Append&& append)
    {
        m_row = std::move(append.lastRow);
        m_rowsEnded = append.rowsEnded;
    }
    // The oldest text of the view went, leaving `remaining` characters: of the last paragraph,
    // at most as many stay.
    void Trimmed(size_t remaining);
    void Clear()
    {
        m_row.clear();
        m_rowsEnded = false;
    }
    // Characters of the view's last paragraph, an unfinished one: since its last line break.
    size_t RowChars() const { return m_row.size(); }

private:
    CString m_row;
    bool m_rowsEnded = false; // its line runs past kMostRows rows: the view ends each of them
};
