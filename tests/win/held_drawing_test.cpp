#include <gtest/gtest.h>

#include <vector>

#include "console_fixture.h"
#include "testkit/pixels.h"
#include "platform/scoped.h"
#include "testkit/view_text.h"
#include "ui/log_view.h"

namespace {

// What the screen shows of the view once it has painted all that waits: the frame, its scroll
// bar and the text.
std::vector<DWORD> ViewPicture(HWND view)
{
    ::UpdateWindow(view);
    RECT bounds;
    ::GetWindowRect(view, &bounds);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    void* bits = nullptr;
    const GdiObject<HBITMAP> bitmap = TopDownBitmap(nullptr, width, height, &bits);
    std::vector<DWORD> picture;
    if (!bitmap.Get())
        return picture;
    HDC screen = ::GetWindowDC(view);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ before = ::SelectObject(memory, bitmap.Get());
    ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    picture.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + width * height);
    ::SelectObject(memory, before);
    ::DeleteDC(memory);
    ::ReleaseDC(view, screen);
    return picture;
}

class HeldAppend : public ConsoleFixture {
protected:
    HWND View() const { return m_dlg.m_editLog.m_hWnd; }
    static CString Lines(int count) { return NumberedLines(count, L"日志 line "); }
};

// A large slice goes in while the view does not draw; afterwards the view is shown again, at its
// end, with all of it waiting for the paint.
TEST_F(HeldAppend, LargeAppendLeavesTheViewShownAtItsEndAndDirty)
{
    const CString text = Lines(600);
    ASSERT_GE(text.size(), CLogView::kHeldDrawingChars);
    ::UpdateWindow(View());
    m_dlg.AppendLog(text);
    EXPECT_NE(::GetWindowLongW(View(), GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_TRUE(::IsWindowVisible(View()));
    EXPECT_EQ(ViewText(), text);
    const int end = static_cast<int>(text.size());
    EXPECT_EQ(Selection(), std::make_pair(end, end));
    const LRESULT lines = m_dlg.m_editLog.Send(EM_GETLINECOUNT);
    EXPECT_GT(m_dlg.m_editLog.Send(EM_GETFIRSTVISIBLELINE), lines - 60) << "the view must show its end";

    RECT client, dirty;
    ::GetClientRect(View(), &client);
    ASSERT_TRUE(::GetUpdateRect(View(), &dirty, FALSE));
    EXPECT_TRUE(::EqualRect(&client, &dirty)) << "the whole view waits for the paint";
}

// Held or not, the view ends up showing the same: the text at its end and a scroll bar that
// says so. Small appends are drawn as they go in, the large one only at the paint.
TEST_F(HeldAppend, LargeAppendPaintsWhatSmallAppendsPaint)
{
    const CString text = Lines(600);
    Click(IDC_CLEAR_LOG);
    const std::vector<DWORD> empty = ViewPicture(View());

    m_dlg.AppendLog(text);
    const std::vector<DWORD> held = ViewPicture(View());

    Click(IDC_CLEAR_LOG);
    const size_t piece = CLogView::kHeldDrawingChars / 8;
    for (size_t at = 0; at < text.size(); at += piece)
        m_dlg.AppendLog(text.substr(at, piece));
    ASSERT_EQ(ViewText(), text);
    const std::vector<DWORD> drawn = ViewPicture(View());

    ASSERT_FALSE(empty.empty());
    EXPECT_TRUE(held != empty) << "the picture must show the text";
    EXPECT_TRUE(held == drawn) << "the held append must paint the same picture, frame included";
}

// The view's paint leaves its frame as it is only where the scroll bar would look the same: after
// a held append to a short view and to a long one, a paint of the view shows what a redraw of
// the whole window, frame included, shows.
TEST_F(HeldAppend, PaintShowsWhatAWholeRedrawShows)
{
    for (const int lines : {200, 20000}) {
        Click(IDC_CLEAR_LOG);
        CLogView view(m_dlg.m_editLog);
        view.Append(Lines(lines));
        view.PaintBand(0, 1);
        view.Append(Lines(600)); // held, and painted soon after the paint before
        view.PaintBand(0, 1);
        const std::vector<DWORD> painted = ViewPicture(View());
        ::RedrawWindow(View(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW);
        ASSERT_FALSE(painted.empty());
        EXPECT_TRUE(painted == ViewPicture(View())) << lines << " lines";
    }
}

// A view that is not shown (its window minimised, say, or not yet shown) stays as it was.
TEST_F(HeldAppend, HiddenViewStaysHidden)
{
    ::ShowWindow(View(), SW_HIDE);
    m_dlg.AppendLog(Lines(600));
    EXPECT_EQ(::GetWindowLongW(View(), GWL_STYLE) & WS_VISIBLE, 0);
    ::ShowWindow(View(), SW_SHOW);
    EXPECT_EQ(ViewLength(), Lines(600).size());
}

} // namespace
