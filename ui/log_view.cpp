#include "ui/log_view.h"

#include <optional>
#include <string_view>

#include "log/text_cut.h"
#include "platform/clipboard.h"
#include "platform/scoped.h"

// Gives the empty view a roomy text buffer. Otherwise the control grows its buffer to the exact
// size on every append, which moves the whole text each time: appends then cost more the more
// the view holds, and the move needs the text twice in memory. Pages of the buffer are only
// touched as text fills it.
void CLogView::ReserveRoom()
{
    m_roomy = true;
    HLOCAL roomy = ::LocalAlloc(LMEM_MOVEABLE, (m_capacity + kSpareChars) * sizeof(wchar_t));
    if (!roomy)
        return;
    *static_cast<wchar_t*>(::LocalLock(roomy)) = L'\0';
    ::LocalUnlock(roomy);
    HLOCAL previous = m_edit.GetHandle();
    m_edit.SetHandle(roomy);
    ::LocalFree(previous);
}

void CLogView::Append(const CString& text)
{
    if (!m_roomy && Length() == 0)
        ReserveRoom();
    m_measure.Refresh();
    CViewRows::Append plan = m_rows.Plan(text, m_measure);
    const size_t row = m_rows.RowChars();
    // Only a removal of nearly all of the view reaches its last row; what stays of it is planned anew.
    if (RemoveOldest(plan.Text(text).size() - plan.replaced) && m_rows.RowChars() != row)
        plan = m_rows.Plan(text, m_measure);
    const CString& appended = plan.Text(text);
    std::optional<HeldDrawing> held;
    if (appended.size() >= kHeldDrawingChars)
        held.emplace(m_edit.m_hWnd);
    const int end = m_edit.GetWindowTextLength();
    const int start = end - static_cast<int>(plan.replaced);
    m_edit.SetSel(start, end);
    m_edit.ScrollCaret();
    m_edit.ReplaceSel(appended.c_str(), FALSE);
    for (const size_t at : plan.breaks)
        m_breaks.Add(static_cast<size_t>(start) + at);
    m_rows.Commit(std::move(plan));
}

// The view puts at most one break of its own (three characters) in every row it ends, and a row
// holds more than 24 characters.
bool CLogView::MakeRoomFor(size_t incoming)
{
    return RemoveOldest(incoming + incoming / 8);
}

// Reads the control's own buffer, without a copy, to find where the cut falls.
bool CLogView::RemoveOldest(size_t incoming)
{
    if (m_keepAll)
        return false;
    const int length = m_edit.GetWindowTextLength();
    if (static_cast<size_t>(length) + incoming <= m_capacity)
        return false;
    size_t cut = 0;
    {
        const LockedLocal text(m_edit.GetHandle());
        if (!text.Data())
            return false;
        const std::wstring_view view(static_cast<const wchar_t*>(text.Data()), static_cast<size_t>(length));
        cut = AtDisplayLineStart(view, OldestLinesToTrim(view, incoming, m_capacity, &m_breaks));
    }
    if (cut == 0)
        return false;
    m_edit.SetSel(0, static_cast<int>(cut));
    m_edit.ReplaceSel(L"", FALSE);
    m_breaks.Trimmed(cut);
    const int end = length - static_cast<int>(cut);
    m_rows.Trimmed(static_cast<size_t>(end));
    m_edit.SetSel(end, end);
    m_edit.ScrollCaret();
    return true;
}

// A cut inside a line goes forward to where the control's next wrapped line starts. What stays
// then wraps just as it did, which the control notices at once: cut anywhere else, it wraps the
// whole rest of the line again, at a cost that grows with the square of that rest (a minute for
// 150,000 characters, against a fifth of a second at a wrapped line's start).
size_t CLogView::AtDisplayLineStart(std::wstring_view view, size_t cut) const
{
    if (cut == 0 || cut >= view.size())
        return cut;
    for (LRESULT line = m_edit.Send(EM_LINEFROMCHAR, cut);; ++line) {
        const LRESULT start = m_edit.Send(EM_LINEINDEX, line);
        if (start < 0)
            return view.size();
        // Never where a wrapped line would leave half a character behind.
        if (static_cast<size_t>(start) >= cut &&
            SafeCut(view, static_cast<size_t>(start)) == static_cast<size_t>(start))
            return static_cast<size_t>(start);
    }
    return cut;
}

// The control keeps its text buffer at its largest: every page the view's text ever filled stays
// in memory, empty, until the window goes. A fresh roomy buffer gives them back; its own pages
// are only touched as text fills it again.
void CLogView::Clear()
{
    m_edit.SetWindowText(L"");
    m_rows.Clear();
    m_breaks.Clear();
    ReserveRoom();
}

CString CLogView::SentText() const
{
    CString text = m_edit.GetWindowText();
    m_breaks.RemoveFrom(text);
    return text;
}

CString CLogView::SelectedSentText() const
{
    int start = 0;
    int end = 0;
    m_edit.GetSel(start, end);
    const LockedLocal text(m_edit.GetHandle());
    if (!text.Data() || end <= start)
        return CString();
    const std::wstring_view view(static_cast<const wchar_t*>(text.Data()),
                                 static_cast<size_t>(m_edit.GetWindowTextLength()));
    return m_breaks.SentText(view, static_cast<size_t>(start), static_cast<size_t>(end));
}

// The control would copy its text as it stands, with the rows the view ended. A cut takes nothing
// from a read-only control, but Wine's copies first: it gets the same text.
bool CLogView::OnSubclassMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message != WM_COPY && message != WM_CUT)
        return false;
    const CString selected = SelectedSentText();
    if (!selected.empty())
        SetClipboardText(m_edit.m_hWnd, selected);
    result = 0;
    return true;
}

bool CLogView::NeedsPaint() const
{
    return ::GetUpdateRect(m_edit.m_hWnd, nullptr, FALSE) != FALSE;
}

// The scroll bar's themed redraw costs about 6 to 30 ms a paint under Wine, whatever the view
// holds. While the view shows its end and holds so many rows that the thumb's share of the track
// is under a pixel, the thumb is at its least size at the bottom of the track whatever is
// appended, so the frame would be drawn as it is.
bool CLogView::FrameLooksTheSame() const
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!::GetScrollInfo(m_edit.m_hWnd, SB_VERT, &info))
        return false;
    RECT client;
    ::GetClientRect(m_edit.m_hWnd, &client);
    const long long rows = static_cast<long long>(info.nMax) - info.nMin + 1;
    const long long page = std::max<long long>(info.nPage, 1);
    const bool atEnd = info.nPos + page > info.nMax;
    return atEnd && page * (client.bottom - client.top) < rows;
}

// Drops the frame's pending paint when it would draw the frame as it is. The frame is drawn at
// least every kFrameEveryMs all the same, should anything else (a window that covered it) have
// asked for it meanwhile.
void CLogView::SkipFrameWhenItLooksTheSame()
{
    const unsigned long long now = ::GetTickCount64();
    if (!FrameLooksTheSame() || now - m_frameMs >= kFrameEveryMs) {
        m_frameMs = now;
        return;
    }
    // Validating a rectangle outside the client area leaves all of it to paint; RDW_NOFRAME drops
    // the frame's part of the update.
    RECT outside = {-2, -2, -1, -1};
    ::RedrawWindow(m_edit.m_hWnd, &outside, nullptr, RDW_VALIDATE | RDW_NOFRAME | RDW_NOCHILDREN);
}

void CLogView::PaintBand(int band, int bands)
{
    HWND view = m_edit.m_hWnd;
    if (band == 0)
        SkipFrameWhenItLooksTheSame();
    if (bands <= 1) {
        ::UpdateWindow(view);
        return;
    }
    RECT client;
    ::GetClientRect(view, &client);
    const int height = client.bottom - client.top;
    const GdiObject<HRGN> inBand(::CreateRectRgn(client.left, client.top + height * band / bands, client.right,
                                                 client.top + height * (band + 1) / bands));
    const GdiObject<HRGN> later(::CreateRectRgn(0, 0, 0, 0));
    ::GetUpdateRgn(view, later.Get(), FALSE);
    ::CombineRgn(later.Get(), later.Get(), inBand.Get(), RGN_DIFF);
    ::ValidateRgn(view, later.Get());
    ::UpdateWindow(view);
    ::InvalidateRgn(view, later.Get(), TRUE);
}
