#include "ui/control_measure.h"

#include <usp10.h>

#include <algorithm>

#include "log/text_cut.h"

void CControlMeasure::Refresh()
{
    RECT format = {};
    m_edit.Send(EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const HFONT font = reinterpret_cast<HFONT>(m_edit.Send(WM_GETFONT));
    if (font != m_font || !m_dc)
        NewFont(font);
    m_rowWidth = format.right - format.left;
}

void CControlMeasure::NewFont(HFONT font)
{
    // A new font: every width measured so far is void.
    m_font = font;
    if (!m_dc)
        m_dc.Reset(::CreateCompatibleDC(nullptr));
    ::SelectObject(m_dc.Get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    m_widths.assign(0x10000, kUnknown);
    m_pairWidths.clear();
    // The control's tab stops, when it has none set: every eight average characters, the
    // average being that of the Latin letters, as the system's dialog units take it.
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE letters = {};
    m_averageWidth = ::GetTextExtentPoint32W(m_dc.Get(), kLetters, 52, &letters) ? (letters.cx / 26 + 1) / 2 : 0;
    m_tabWidth = 8 * m_averageWidth;
}

int CControlMeasure::Measure(const wchar_t* units, int count) const
{
    SIZE size = {};
    if (!::GetTextExtentPoint32W(m_dc.Get(), units, count, &size))
        return 0;
    return size.cx;
}

// A character beyond the first 65,536 (a surrogate pair, such as an emoji) is often drawn from
// another font than the control's: measured as the control lays out a row (Uniscribe, with font
// fallback), not by GDI, which gives the control's own font's width for a glyph it lacks.
int CControlMeasure::MeasurePair(const wchar_t* pair) const
{
    SCRIPT_STRING_ANALYSIS analysis = nullptr;
    if (FAILED(::ScriptStringAnalyse(m_dc.Get(), pair, 2, 19, -1, SSA_GLYPHS | SSA_FALLBACK | SSA_LINK, 0, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, &analysis)))
        return Measure(pair, 2);
    const SIZE* size = ::ScriptString_pSize(analysis);
    const int width = size ? size->cx : Measure(pair, 2);
    ::ScriptStringFree(&analysis);
    return width;
}

// The control sums its characters' widths (Uniscribe's advances, which for the text a log holds
// are the font's own, found alike by GDI), so one character measured once serves every time.
void CControlMeasure::Widths(std::wstring_view text, int* widths)
{
    if (m_widths.empty())
        Refresh();
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const uint32_t pair = uint32_t(unit) << 16 | text[i + 1];
            const auto [known, added] = m_pairWidths.try_emplace(pair, 0);
            if (added)
                known->second = MeasurePair(&text[i]);
            widths[i] = known->second;
            widths[++i] = 0;
            continue;
        }
        uint16_t& known = m_widths[unit];
        if (known == kUnknown)
            known = static_cast<uint16_t>(std::clamp(Measure(&unit, 1), 0, kUnknown - 1));
        widths[i] = known;
    }
}

void CControlMeasure::SoftBreaks(std::wstring_view text, unsigned char* breaks)
{
    std::fill(breaks, breaks + text.size(), 0);
    if (text.empty())
        return;
    std::vector<SCRIPT_LOGATTR> attributes(text.size());
    SCRIPT_ANALYSIS analysis = {};
    analysis.eScript = SCRIPT_UNDEFINED;
    if (FAILED(::ScriptBreak(text.data(), static_cast<int>(text.size()), &analysis, attributes.data())))
        return;
    for (size_t i = 0; i < text.size(); ++i)
        breaks[i] = attributes[i].fSoftBreak;
}
