#pragma once
// The log view's mechanics: a roomy text buffer, appends at the end, the rows of a line wider than
// the view ended by the view itself (log/view_rows.h), copies of it that give the text as sent,
// removal of the oldest text past the capacity, and painting in bands. Holds the dialog's edit
// control; the dialog owns it.
#include <algorithm>
#include <cstddef>
#include <string_view>

#include "log/pending_log.h"
#include "log/view_breaks.h"
#include "log/view_capacity.h"
#include "log/view_rows.h"
#include "platform/edit.h"
#include "platform/window_subclass.h"
#include "ui/control_measure.h"

class CLogView : private CWindowSubclass {
public:
    // Characters the control takes beyond its capacity before it must move its text to grow:
    // one slice, the most that is appended at once.
    static constexpr size_t kSpareChars = CPendingLog::kMaxSlice;
    // A slice this long fills more than the view's height, so all of the view changes anyway.
    // It goes in with drawing held: the control then skips the redraw of its scroll bar that it
    // does on every append (about 15 ms here, whatever the slice's size), and the next paint
    // draws the view and its frame once.
    static constexpr size_t kHeldDrawingChars = 8 * 1024;

    explicit CLogView(CEdit& edit) : m_edit(edit), m_measure(edit) {}

    // From now on a copy from the control (Ctrl+C, its menu's Copy, WM_COPY; and a cut, which
    // takes nothing from a read-only view) gives the text as clients sent it, without the view's
    // own row ends. Once the control exists.
    void Attach() { CWindowSubclass::Attach(m_edit.m_hWnd); }

    // Tests give the view a smaller capacity, in characters; a quarter of it is freed at a time.
    void SetCapacity(size_t chars) { m_capacity = chars; }
    size_t Capacity() const { return m_capacity; }
    size_t Length() const { return static_cast<size_t>(m_edit.GetWindowTextLength()); }

    // Puts the caret at the very end, scrolls there and inserts the text, after making room
    // for it when it would pass the capacity. Where a line is wider than the view, the view ends
    // each of its rows itself (kViewBreak), where the control would wrap it, the rows it showed
    // already included.
    void Append(const CString& text);
    // Removes the oldest text when `incoming` more characters, and the line breaks the view may
    // put among them, would pass the capacity, and keeps the view at its end. Returns whether any
    // text went. Never while the view keeps all.
    bool MakeRoomFor(size_t incoming);
    // While the operator saves the log, the file must hold everything the view held at the
    // click: the view then drops nothing, and text that does not fit waits until it ends.
    void KeepAll(bool keep) { m_keepAll = keep; }
    bool KeepsAll() const { return m_keepAll; }
    // Characters that fit before the capacity is reached.
    size_t Room() const { return m_capacity - std::min(m_capacity, Length()); }
    // Empties the view and gives back the memory its text took.
    void Clear();
    // The view's text as clients sent it: without the line breaks the view put in.
    CString SentText() const;
    // The operator's selection in the view, as clients sent it.
    CString SelectedSentText() const;
    // The line breaks the view put in, where each stands now.
    const CViewBreaks& Breaks() const { return m_breaks; }

    // Whether part of the view waits to be painted.
    bool NeedsPaint() const;
    // Paints one horizontal band of the view, of `bands` from the top; whatever else needs
    // painting stays so, for later steps. The view's frame (its scroll bar) is left as it is
    // while it would look the same (FrameLooksTheSame), though at least every kFrameEveryMs.
    void PaintBand(int band, int bands);
    static constexpr unsigned kFrameEveryMs = 1000;

private:
    bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void ReserveRoom();
    bool RemoveOldest(size_t incoming);
    size_t AtDisplayLineStart(std::wstring_view view, size_t cut) const;
    bool FrameLooksTheSame() const;
    void SkipFrameWhenItLooksTheSame();

    CEdit& m_edit;
    CControlMeasure m_measure;
    CViewRows m_rows;
    CViewBreaks m_breaks;
    size_t m_capacity = kViewCapacityChars;
    bool m_roomy = false;
    bool m_keepAll = false;
    unsigned long long m_frameMs = 0; // when the paint last drew the frame
};
