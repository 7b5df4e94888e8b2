#include "view_cost.h"

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>

#include "bench_stats.h"
#include "res/resource.h"

namespace zelbench {
namespace {

constexpr size_t kMillion = 1000 * 1000;
constexpr size_t kLine = 100; // characters per line, CR LF included, as the bench frames

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

void PumpPending()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

double WorkingSetMB()
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    return static_cast<double>(memory.WorkingSetSize) / (1024.0 * 1024.0);
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

size_t Length(HWND view)
{
    return static_cast<size_t>(::SendMessageW(view, WM_GETTEXTLENGTH, 0, 0));
}

// The console's append: caret to the end, scroll there, insert. Returns milliseconds.
double Append(HWND view, const std::wstring& text)
{
    const double start = Now();
    const LRESULT end = static_cast<LRESULT>(Length(view));
    ::SendMessageW(view, EM_SETSEL, end, end);
    ::SendMessageW(view, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    return (Now() - start) * 1000;
}

double PaintMs()
{
    const double start = Now();
    PumpPending();
    return (Now() - start) * 1000;
}

// Removes the oldest whole lines that make up at least `share` of the text and goes back to the
// end, as the console does. Returns milliseconds of the removal; `backMs`, of going back.
double TrimOldest(HWND view, double share, size_t* removed, double* backMs)
{
    const double start = Now();
    const size_t length = Length(view);
    const LRESULT line = ::SendMessageW(view, EM_LINEFROMCHAR, static_cast<WPARAM>(length * share), 0);
    const LRESULT cut = ::SendMessageW(view, EM_LINEINDEX, static_cast<WPARAM>(line + 1), 0);
    ::SendMessageW(view, EM_SETSEL, 0, cut);
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    const double removedAt = Now();
    const LRESULT end = static_cast<LRESULT>(Length(view));
    ::SendMessageW(view, EM_SETSEL, end, end);
    ::SendMessageW(view, EM_SCROLLCARET, 0, 0);
    *backMs = (Now() - removedAt) * 1000;
    *removed = length - static_cast<size_t>(end);
    return (removedAt - start) * 1000;
}

} // namespace

int ViewCostMain(int maxMillions, bool focused)
{
    HWND dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONSOLE_DIALOG), nullptr,
                                       PlainDialogProc, 0);
    if (!dialog)
        return 1;
    HWND view = ::GetDlgItem(dialog, IDC_LOG_VIEW);
    ::SendMessageW(view, EM_SETLIMITTEXT, 0, 0);
    // Room for the largest size and the appends on top, as the console reserves it.
    const size_t room = (static_cast<size_t>(maxMillions) + 2) * kMillion;
    HLOCAL roomy = ::LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, room * sizeof(wchar_t));
    if (!roomy)
        return 1;
    HLOCAL previous = reinterpret_cast<HLOCAL>(::SendMessageW(view, EM_GETHANDLE, 0, 0));
    ::SendMessageW(view, EM_SETHANDLE, reinterpret_cast<WPARAM>(roomy), 0);
    ::LocalFree(previous);
    ::ShowWindow(dialog, SW_SHOW);
    ::UpdateWindow(dialog);
    if (focused) {
        ::SetForegroundWindow(dialog);
        ::SetFocus(view);
    }
    PumpPending();
    std::printf("view has the keyboard focus: %s\n", ::GetFocus() == view ? "yes" : "no");

    std::printf("%9s %9s %9s %9s %9s %9s %9s %11s %9s\n", "M chars", "WS MB", "line ms", "64Ki ms", "paint ms",
                "trim ms", "to end ms", "trim+paint", "MB/Mchar");
    const int sizes[] = {1, 2, 4, 8, 12, 16, 20, 24, 32, 48, 64, 100};
    size_t next = 0;
    for (int millions : sizes) {
        if (millions > maxMillions)
            break;
        const size_t target = static_cast<size_t>(millions) * kMillion;
        while (Length(view) + kLine <= target) {
            const size_t lines = std::min<size_t>(10000, (target - Length(view)) / kLine);
            Append(view, Lines(next, lines));
            next += lines;
            PumpPending();
        }
        Samples line, big, paint;
        for (int i = 0; i < 5; ++i) {
            line.Add(Append(view, Lines(next++, 1)));
            paint.Add(PaintMs());
        }
        for (int i = 0; i < 3; ++i) {
            big.Add(Append(view, Lines(next, 655)));
            next += 655;
            paint.Add(PaintMs());
        }
        const double ws = WorkingSetMB();
        size_t removed = 0;
        double back = 0;
        const double trim = TrimOldest(view, 0.25, &removed, &back);
        const double trimPaint = trim + back + PaintMs();
        // Back to the size before the trim, for the next, larger size.
        while (removed >= kLine) {
            const size_t lines = std::min<size_t>(10000, removed / kLine);
            Append(view, Lines(next, lines));
            next += lines;
            removed -= lines * kLine;
            PumpPending();
        }
        std::printf("%9d %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %11.1f %9.2f\n", millions, ws, line.Median(), big.Median(),
                    paint.Median(), trim, back, trimPaint, ws / millions);
        std::fflush(stdout);
    }
    ::DestroyWindow(dialog);
    return 0;
}

} // namespace zelbench
