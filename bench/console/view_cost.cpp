#include "view_cost.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_stats.h"
#include "plain_dialog.h"
#include "platform/scoped.h"
#include "res/resource.h"
#include "ui/log_view.h"

namespace zelbench {
namespace {

constexpr size_t kMillion = 1000 * 1000;
constexpr size_t kLine = 100; // characters per line, CR LF included, as the bench frames

double WorkingSetMB()
{
    return static_cast<double>(Memory(::GetCurrentProcess()).WorkingSetSize) / kMB;
}

// Numbered lines of kLine characters, starting at line `first`.
std::wstring Lines(size_t first, size_t count)
{
    std::wstring text;
    text.reserve(count * kLine);
    for (size_t i = 0; i < count; ++i) {
        wchar_t head[32];
        const int n = std::swprintf(head, 32, L"line %010zu ", first + i);
        std::wstring line(head, static_cast<size_t>(n));
        line.resize(kLine - 2, L'x');
        text += line;
        text += L"\r\n";
    }
    return text;
}

// The view's append. Returns milliseconds.
double Append(CLogView& view, const std::wstring& text)
{
    const double start = Now();
    view.Append(text);
    return (Now() - start) * 1000;
}

// The same append with the view's drawing held, as the view appends large slices: what it
// costs without the control's redraw of its scroll bar. Returns milliseconds.
double HeldAppend(CLogView& view, HWND edit, const std::wstring& text)
{
    const double start = Now();
    {
        const HeldDrawing held(edit);
        view.Append(text);
    }
    return (Now() - start) * 1000;
}

// The view's paint, whole, and whatever else waits.
double PaintMs(CLogView& view)
{
    const double start = Now();
    view.PaintBand(0, 1);
    PumpQueued();
    return (Now() - start) * 1000;
}

// A repaint of the whole view (with its frame: the scroll bar), as after a held append, in
// `bands` bands as the flush paints it. Returns the milliseconds of all bands and of the
// slowest; `slowest` may be null.
double RepaintMs(CLogView& view, HWND edit, int bands, UINT frame, double* slowest)
{
    ::RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | frame);
    double total = 0, most = 0;
    for (int band = 0; band < bands; ++band) {
        const double start = Now();
        view.PaintBand(band, bands);
        const double ms = (Now() - start) * 1000;
        total += ms;
        most = std::max(most, ms);
    }
    PumpQueued();
    if (slowest)
        *slowest = most;
    return total;
}

// A repaint of the view's last row only, the rest left as it is: what a paint costs whatever
// it draws. Milliseconds.
double LastRowMs(CLogView& view, HWND edit)
{
    RECT client;
    ::GetClientRect(edit, &client);
    client.top = client.bottom - 16;
    ::InvalidateRect(edit, &client, TRUE);
    const double start = Now();
    view.PaintBand(0, 1);
    const double ms = (Now() - start) * 1000;
    PumpQueued();
    return ms;
}

// Where a repaint of the view goes at its present size: medians of three of each.
void PrintRepaints(CLogView& view, HWND edit, int millions)
{
    Samples client, framed, lastRow;
    Samples total[5], slowest[5];
    for (int i = 0; i < 3; ++i) {
        client.Add(RepaintMs(view, edit, 1, 0, nullptr));
        framed.Add(RepaintMs(view, edit, 1, RDW_FRAME, nullptr));
        lastRow.Add(LastRowMs(view, edit));
        for (int bands = 2; bands <= 4; ++bands) {
            double most = 0;
            total[bands].Add(RepaintMs(view, edit, bands, RDW_FRAME, &most));
            slowest[bands].Add(most);
        }
    }
    std::printf("  repaint at %d M: client %.1f ms, with frame %.1f ms, last row only %.1f ms; in 2 bands %.1f ms "
                "(slowest %.1f), 3 bands %.1f (%.1f), 4 bands %.1f (%.1f)\n",
                millions, client.Median(), framed.Median(), lastRow.Median(), total[2].Median(), slowest[2].Median(),
                total[3].Median(), slowest[3].Median(), total[4].Median(), slowest[4].Median());
}

// Removes the oldest quarter as the view does at its capacity (with the move back to the end).
// Returns milliseconds.
double TrimOldest(CLogView& view, size_t* removed)
{
    const size_t capacity = view.Capacity();
    const size_t length = view.Length();
    view.SetCapacity(length);
    const double start = Now();
    view.MakeRoomFor(1);
    const double ms = (Now() - start) * 1000;
    view.SetCapacity(capacity);
    *removed = length - view.Length();
    return ms;
}

} // namespace

int ViewCostMain(int maxMillions, bool focused)
{
    HWND dialog = ShowPlainDialog();
    if (!dialog)
        return 1;
    CEdit edit = ViewEdit(dialog);
    CLogView view(edit);
    // Room for the largest size and the appends on top; the view reserves it on its first append.
    view.SetCapacity((static_cast<size_t>(maxMillions) + 2) * kMillion);
    if (focused) {
        ::SetForegroundWindow(dialog);
        ::SetFocus(edit.m_hWnd);
    }
    PumpQueued();
    std::printf("view has the keyboard focus: %s\n", ::GetFocus() == edit.m_hWnd ? "yes" : "no");

    std::printf("%9s %9s %9s %9s %9s %9s %11s %11s %9s\n", "M chars", "WS MB", "line ms", "held ms", "64Ki ms",
                "paint ms", "trim ms", "trim+paint", "MB/Mchar");
    const int sizes[] = {1, 2, 4, 8, 12, 16, 20, 24, 32, 48, 64, 100};
    size_t next = 0;
    for (int millions : sizes) {
        if (millions > maxMillions)
            break;
        const size_t target = static_cast<size_t>(millions) * kMillion;
        while (view.Length() + kLine <= target) {
            const size_t lines = std::min<size_t>(10000, (target - view.Length()) / kLine);
            Append(view, Lines(next, lines));
            next += lines;
            PumpQueued();
        }
        Samples line, held, big, paint;
        for (int i = 0; i < 5; ++i) {
            line.Add(Append(view, Lines(next++, 1)));
            paint.Add(PaintMs(view));
            held.Add(HeldAppend(view, edit.m_hWnd, Lines(next++, 1)));
            paint.Add(PaintMs(view));
        }
        for (int i = 0; i < 3; ++i) {
            big.Add(Append(view, Lines(next, 655)));
            next += 655;
            paint.Add(PaintMs(view));
        }
        const double ws = WorkingSetMB();
        size_t removed = 0;
        const double trim = TrimOldest(view, &removed);
        const double trimPaint = trim + PaintMs(view);
        // Back to the size before the trim, for the next, larger size.
        while (removed >= kLine) {
            const size_t lines = std::min<size_t>(10000, removed / kLine);
            Append(view, Lines(next, lines));
            next += lines;
            removed -= lines * kLine;
            PumpQueued();
        }
        std::printf("%9d %9.1f %9.1f %9.1f %9.1f %9.1f %11.1f %11.1f %9.2f\n", millions, ws, line.Median(),
                    held.Median(), big.Median(), paint.Median(), trim, trimPaint, ws / millions);
        PrintRepaints(view, edit.m_hWnd, millions);
        std::fflush(stdout);
    }
    ::DestroyWindow(dialog);
    return 0;
}

} // namespace zelbench
