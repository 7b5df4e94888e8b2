#include "unbroken_ceiling.h"

#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "bench_child.h"
#include "bench_stats.h"
#include "bench_text.h"
#include "plain_dialog.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {

// A control like the view in its place, font and styles, but scrolling sideways instead of
// wrapping (ES_AUTOHSCROLL): what an unbroken run costs a control that does not wrap it.
HWND NoWrapView(HWND dialog)
{
    HWND view = ::GetDlgItem(dialog, IDC_LOG_VIEW);
    RECT place;
    ::GetWindowRect(view, &place);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(view, GWL_STYLE)) | ES_AUTOHSCROLL | WS_HSCROLL;
    HWND wide = ::CreateWindowExW(static_cast<DWORD>(::GetWindowLongW(view, GWL_EXSTYLE)), L"Edit", L"", style,
                                  place.left, place.top, place.right - place.left, place.bottom - place.top, dialog,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(wide, WM_SETFONT, ::SendMessageW(view, WM_GETFONT, 0, 0), TRUE);
    ::SendMessageW(wide, EM_SETLIMITTEXT, 0, 0);
    ::ShowWindow(view, SW_HIDE);
    PaintNow(dialog);
    return wide;
}

} // namespace

int UnbrokenCeilingMain(size_t pieceChars, size_t chars, int rowSeconds, bool noWrap)
{
    HWND dialog = ShowPlainDialog();
    if (!dialog || pieceChars == 0)
        return 1;
    HWND view = noWrap ? NoWrapView(dialog) : ::GetDlgItem(dialog, IDC_LOG_VIEW);
    const std::string letters = Letters(0, chars);
    const std::wstring text = Widen(letters);

    Samples appendMs, paintMs, rowMs;
    const double cpuStart = ThreadCpuSeconds();
    const double start = Now();
    if (rowSeconds > 0)
        std::printf("%12s %10s %16s %12s\n", "run length", "seconds", "append median ms", "characters/s");
    size_t rowFrom = 0;
    double rowStart = start;
    for (size_t from = 0; from < text.size(); from += pieceChars) {
        const std::wstring piece = text.substr(from, pieceChars);
        const double a = Now();
        AppendAtEnd(view, piece.c_str());
        const double b = Now();
        PaintNow(dialog);
        appendMs.Add((b - a) * 1000);
        paintMs.Add((Now() - b) * 1000);
        rowMs.Add((b - a) * 1000);
        if (rowSeconds <= 0 || from + pieceChars - rowFrom < 256 * 1024)
            continue;
        const double now = Now();
        std::printf("%12zu %10.1f %16.1f %12.0f\n", from + pieceChars, now - start, rowMs.Median(),
                    static_cast<double>(from + pieceChars - rowFrom) / (now - rowStart));
        std::fflush(stdout);
        rowMs = Samples();
        rowFrom = from + pieceChars;
        rowStart = now;
        if (now - start > rowSeconds)
            break;
    }
    const double seconds = Now() - start;
    const double cpuSeconds = ThreadCpuSeconds() - cpuStart;
    const auto length = static_cast<size_t>(::SendMessageW(view, WM_GETTEXTLENGTH, 0, 0));
    std::printf("%.6f %zu %.3f %.3f %.3f %.3f %.6f\n", seconds, length, appendMs.Median(), appendMs.Max(),
                paintMs.Median(), paintMs.Max(), cpuSeconds);
    ::DestroyWindow(dialog);
    return 0;
}

UnbrokenCeiling RunUnbrokenCeiling(size_t chars)
{
    UnbrokenCeiling ceiling;
    for (size_t piece : {2048u, 4096u, 8192u}) {
        UnbrokenPiece p;
        p.pieceChars = piece;
        std::istringstream in(
            RunBenchChild(L"--unbroken-ceiling " + std::to_wstring(piece) + L" " + std::to_wstring(chars)));
        in >> p.seconds >> p.chars >> p.appendMedianMs >> p.appendMaxMs >> p.paintMedianMs >> p.paintMaxMs >>
            p.cpuSeconds;
        if (!in || p.chars != chars)
            p.seconds = 0;
        if (p.Rate() > ceiling.bestRate) {
            ceiling.bestRate = p.Rate();
            ceiling.bestPiece = piece;
        }
        ceiling.pieces.push_back(p);
    }
    return ceiling;
}

} // namespace zelbench
