#pragma once
// What the log view's control makes of text, measured as the control measures it: its row
// width (its formatting rectangle), its tab stops, each character's width in its font, and its
// word breaks (Uniscribe's, which the control asks too). Holds the dialog's edit control; the
// dialog owns it.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "log/view_rows.h"
#include "platform/edit.h"
#include "platform/scoped.h"

class CControlMeasure : public CRowMeasure {
public:
    explicit CControlMeasure(CEdit& edit) : m_edit(edit) {}

    // Reads the control's font and row width again; before each plan, as they may change.
    void Refresh();
    // The control's formatting rectangle's width.
    int RowWidth() const override { return m_rowWidth; }
    // Two average characters of the control's font.
    int RowMargin() const override { return 2 * m_averageWidth; }
    int TabWidth() const override { return m_tabWidth; }
    void Widths(std::wstring_view text, int* widths) override;
    void SoftBreaks(std::wstring_view text, unsigned char* breaks) override;

private:
    void NewFont(HFONT font);
    int Measure(const wchar_t* units, int count) const;
    int MeasurePair(const wchar_t* pair) const;

    CEdit& m_edit;
    MemoryDc m_dc;
    HFONT m_font = nullptr;
    int m_rowWidth = 0;
    int m_tabWidth = 0;
    int m_averageWidth = 0;
    // Each UTF-16 unit's width, measured the first time it comes; kUnknown until then.
    static constexpr uint16_t kUnknown = 0xFFFF;
    std::vector<uint16_t> m_widths;
    // Each surrogate pair's width, by the pair's two units, measured the first time it comes.
    std::unordered_map<uint32_t, int> m_pairWidths;
};
