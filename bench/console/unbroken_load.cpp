#include "unbroken_load.h"

#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "bench_console.h"
#include "bench_text.h"
#include "bench_watcher.h"
#include "testkit/console_texts.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"
#include "unbroken_ceiling.h"

namespace zelbench {
namespace {

struct Shown {
    std::string error;
    double seconds = 0;     // from the first byte sent until the view held it all, or until stopped
    double markSeconds = 0; // until the view held the first `mark` characters of it
    size_t chars = 0;       // of the text sent, in the view at the end
    bool whole = false;     // the view held it all within the limit
    bool verified = false;  // the view's text after what it held before is the text sent, in order
    WatchFigures watched;
    double idleWorkingSetMB = 0, peakWorkingSetMB = 0;
    size_t viewBefore = 0, viewAfter = 0; // the view's length before the text was sent and at the end
    long viewRows = 0;                    // at the end
    double Rate() const { return seconds > 0 ? static_cast<double>(chars) / seconds : 0; }
};

// How much of `expected` the view shows after its first `before` characters, read as sent:
// all of it must be the start of `expected`. Returns the characters of `expected` shown;
// `verified` says whether what is shown is the text sent.
size_t ShownOf(const std::wstring& view, size_t before, const std::wstring& expected, bool& verified)
{
    const std::wstring shown = AsSent(std::wstring_view(view).substr(std::min(before, view.size())));
    verified = shown.size() <= expected.size() && expected.compare(0, shown.size(), shown) == 0;
    return verified ? shown.size() : 0;
}

// Characters of the view other than row ends, counted from outside without reading its text
// (reading the whole view would hold the console's thread for tens of milliseconds each time):
// its length less three for each row end, the view's own being three characters, plus one for
// each of the line ends sent, two characters. Which rows end in which does not show from
// outside: with up to `sentLineEnds` line ends sent, the count is exact once all of them show,
// and at most that many too high before.
long long CharsBesideRowEnds(const CConsoleProcess& console, long long sentLineEnds)
{
    const int length = console.TextLength(IDC_LOG_VIEW);
    const auto rows = static_cast<long long>(::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0));
    return length < 0 ? -1 : length - static_cast<long long>(kViewBreak.size()) * (rows - 1) + sentLineEnds;
}

size_t SentLineEnds(std::wstring_view text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), L'\n'));
}

size_t CharsBesideCrLf(const std::wstring& text)
{
    size_t crLf = 0;
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2))
        ++crLf;
    return text.size() - 2 * crLf;
}

// Polls the view every 5 ms until `whole(seconds since start)` holds (the text is shown whole),
// `limitSeconds` pass or the console ends; notes when in `shown`.
template <class Whole>
void PollUntilShown(const CConsoleProcess& console, double start, double limitSeconds, Shown& shown, Whole whole)
{
    for (;;) {
        const double now = Now() - start;
        if (whole(now)) {
            shown.whole = true;
            shown.seconds = now;
            return;
        }
        if (now > limitSeconds || !Alive(console)) {
            shown.seconds = now;
            return;
        }
        ::Sleep(5);
    }
}

// `console` is started fresh; one client sends `stream`, whose frames show as `expected`; the
// view is polled until it holds all of it or `limitSeconds` pass. The view ends rows of its own
// in a line wider than a row, so its length alone does not tell: its characters beside row ends
// do, and the text, read once they say all is there, confirms it. A console that did not show it
// all is ended; one that did is left running.
Shown SendAndWatch(CConsoleProcess& console, const std::string& stream, const std::wstring& expected,
                   double limitSeconds, size_t mark = 0)
{
    Shown shown;
    const IdleConsole idle = StartIdle(console);
    UniqueSocket client = idle.error ? UniqueSocket() : ConnectClient();
    if (!client) {
        shown.error = idle.error ? idle.error : "the client could not connect";
        return shown;
    }
    shown.idleWorkingSetMB = idle.workingSetMB;
    shown.viewBefore = idle.viewLength;
    const size_t before = idle.viewLength;
    const size_t full = before + expected.size();
    const std::wstring beforeText = console.Text(IDC_LOG_VIEW);
    const auto lineEnds = static_cast<long long>(SentLineEnds(beforeText) + SentLineEnds(expected));
    const auto target = static_cast<long long>(CharsBesideCrLf(beforeText) + CharsBesideCrLf(expected));
    bool sendFailed = false;
    std::thread sender;
    {
        Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), false, shown.watched);
        const double start = Now();
        sender = std::thread([&] { sendFailed = !SendAll(client.Get(), stream); });
        PollUntilShown(console, start, limitSeconds, shown, [&](double now) {
            const int length = console.TextLength(IDC_LOG_VIEW);
            if (length >= 0 && mark > 0 && shown.markSeconds == 0 && static_cast<size_t>(length) >= before + mark)
                shown.markSeconds = now;
            if (length < 0 || static_cast<size_t>(length) < full || CharsBesideRowEnds(console, lineEnds) < target)
                return false;
            bool verified = false;
            return ShownOf(console.Text(IDC_LOG_VIEW), before, expected, verified) == expected.size();
        });
    }
    shown.peakWorkingSetMB = PeakWorkingSetMB(console);
    if (!Alive(console)) {
        shown.error = "the console ended";
    } else {
        const std::wstring view = console.Text(IDC_LOG_VIEW);
        shown.viewAfter = view.size();
        shown.viewRows = static_cast<long>(::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0));
        shown.chars = ShownOf(view, before, expected, shown.verified);
        shown.whole = shown.whole && shown.verified && shown.chars == expected.size();
    }
    if (!shown.whole)
        console.Kill(); // a sender still blocked on a paused connection fails now
    client.Reset();
    sender.join();
    if (shown.whole && sendFailed)
        shown.error = "the client could not send";
    return shown;
}

// The same on a console of its own, ended before it returns.
Shown SendAndWatch(const std::string& stream, const std::wstring& expected, double limitSeconds, size_t mark = 0)
{
    CConsoleProcess console;
    return SendAndWatch(console, stream, expected, limitSeconds, mark);
}

void PrintShown(const char* what, const Shown& s, double ceilingRate = 0)
{
    std::printf("%s: ", what);
    if (!s.error.empty())
        std::printf("FAILED: %s; ", s.error.c_str());
    if (s.whole)
        std::printf("shown whole in %.2f s", s.seconds);
    else
        std::printf("NOT WHOLE after %.1f s (%zu characters shown)", s.seconds, s.chars);
    std::printf(", %.0f characters/s", s.Rate());
    if (ceilingRate > 0)
        std::printf(" = %.2f x the unbroken ceiling", s.Rate() / ceilingRate);
    std::printf("; view %s\n", s.verified ? "verified (the text sent, in order)" : "NOT VERIFIED");
    PrintRoundTrips(s.watched);
    std::printf(
        "  view waiting for paint: median %.0f ms, max %.0f ms; memory: peak working set %.1f MB (idle %.1f MB)\n",
        s.watched.staleMs.Median(), s.watched.staleMs.Max(), s.peakWorkingSetMB, s.idleWorkingSetMB);
    std::fflush(stdout);
}

bool Met(const Shown& s, double limitSeconds)
{
    return s.error.empty() && s.whole && s.verified && s.seconds <= limitSeconds;
}

// Saves the view through the console's own save dialog, as an operator would; the file's bytes,
// or nothing when the save did not go through.
std::string SaveThroughTheDialog(const CConsoleProcess& console, const TempDir& dir, double& seconds)
{
    const CString path = dir.File(L"view.txt");
    console.Click(IDC_SAVE_LOG);
    const HWND dialog = savedlg::WaitForOwnedDialog(console.ProcessId(), console.Window());
    if (!dialog || !savedlg::ConfirmName(dialog, path) || !savedlg::WaitUntilGone(dialog))
        return std::string();
    const double start = Now();
    const HWND box = savedlg::WaitForOwnedDialog(console.ProcessId(), console.Window(), 120000);
    seconds = Now() - start;
    if (!box)
        return std::string();
    savedlg::Press(box, IDOK);
    savedlg::WaitUntilGone(box);
    return FileText(path);
}

} // namespace

int UnbrokenMain(bool ceilingToo)
{
    int failures = 0;

    // One frame of 1 MiB letters.
    const std::string letters = Letters(0, kMi);
    const Shown one = SendAndWatch(Frame(letters), Widen(letters), 300);
    PrintShown("1 MiB frame without a line break", one);
    failures += !Met(one, 300);

    // The same kind of text in 10,000 frames of 100 characters; each frame starts with its
    // number, so the view shows whether they came in order.
    std::string frames, text;
    for (int i = 0; i < 10000; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "F%05d", i);
        const std::string payload = head + Letters(static_cast<size_t>(i) * 94, 94);
        frames += Frame(payload);
        text += payload;
    }
    const Shown many = SendAndWatch(frames, Widen(text), 300);
    PrintShown("1 M characters in 10,000 frames of 100 without CR LF", many);
    failures += !Met(many, 300);

    // A small frame behind a 70,000-letter one.
    const std::string big = Letters(0, 70000);
    const std::string small = "small frame after 70,000 letters\r\n";
    const Shown behind = SendAndWatch(Frame(big) + Frame(small), Widen(big + small), 60, big.size());
    PrintShown("70,000-letter frame, then a small frame", behind);
    std::printf("  the 70,000 letters shown after %.2f s, the small frame after %.2f s\n", behind.markSeconds,
                behind.seconds);
    failures += !Met(behind, 60);
    std::fflush(stdout);
    if (!ceilingToo)
        return failures ? 1 : 0;

    const UnbrokenCeiling ceiling = RunUnbrokenCeiling(kMi);
    for (const UnbrokenPiece& p : ceiling.pieces) {
        std::printf("unbroken ceiling, pieces of %zu: %.2f s for %zu characters, %.0f characters/s (%.2f s of "
                    "processor time); append median %.1f ms, max %.1f ms; paint after it median %.1f ms, max %.1f ms\n",
                    p.pieceChars, p.seconds, p.chars, p.Rate(), p.cpuSeconds, p.appendMedianMs, p.appendMaxMs,
                    p.paintMedianMs, p.paintMaxMs);
    }
    if (ceiling.bestRate <= 0) {
        std::printf("unbroken ceiling: FAILED\n");
        return 1;
    }
    std::printf("unbroken ceiling: %.0f characters/s (pieces of %zu)\n", ceiling.bestRate, ceiling.bestPiece);
    std::printf("console / unbroken ceiling: 1 MiB frame %.2f x, 10,000 frames of 100 %.2f x, 70,000 + small %.2f x\n",
                one.Rate() / ceiling.bestRate, many.Rate() / ceiling.bestRate, behind.Rate() / ceiling.bestRate);
    return failures ? 1 : 0;
}

int LargeFramesMain(int limitSeconds)
{
    constexpr size_t kLarge = 16 * kMi;
    // 100-character numbered lines, CR LF included, cut at 16 MiB.
    std::string lines;
    lines.reserve(kLarge + 100);
    for (size_t i = 0; lines.size() < kLarge; ++i) {
        char head[24];
        std::snprintf(head, sizeof head, "line %08zu ", i);
        std::string line = head;
        line.resize(98, 'x');
        lines += line + "\r\n";
    }
    lines.resize(kLarge);
    const Shown broken = SendAndWatch(Frame(lines), Widen(lines), 600);
    PrintShown("16 MiB frame of 100-character lines", broken);
    lines = std::string();

    const std::string letters = Letters(0, kLarge);
    const Shown unbroken = SendAndWatch(Frame(letters), Widen(letters), limitSeconds);
    PrintShown("16 MiB frame without a line break", unbroken);
    if (!unbroken.whole && unbroken.Rate() > 0)
        std::printf("  projected: %.0f s (%.1f min) for the whole frame at that rate\n",
                    static_cast<double>(kLarge) / unbroken.Rate(), static_cast<double>(kLarge) / unbroken.Rate() / 60);
    return Met(broken, 600) && unbroken.error.empty() && unbroken.verified ? 0 : 1;
}

int UnbrokenLargeMain(int limitSeconds)
{
    const std::string letters = Letters(0, 16 * kMi);
    CConsoleProcess console;
    const Shown shown = SendAndWatch(console, Frame(letters), Widen(letters), limitSeconds);
    PrintShown("16 MiB frame without a line break", shown);
    std::printf("  view: %zu characters in %ld rows, %zu of them line breaks the view put in\n", shown.viewAfter,
                shown.viewRows, (shown.viewAfter - shown.viewBefore - shown.chars) / kViewBreak.size());
    if (!shown.whole)
        return 1;

    // The file holds the frame as it was sent: the started line, then the letters, unbroken.
    const TempDir dir;
    double saveSeconds = 0;
    const std::string file = SaveThroughTheDialog(console, dir, saveSeconds);
    const std::string expectedFile = std::string(kStartedLine936) + "\r\n" + letters;
    const bool asSent = file == expectedFile;
    std::printf("  saved: %zu bytes in %.2f s; %s\n", file.size(), saveSeconds,
                asSent ? "the file is the text as sent, byte for byte" : "THE FILE IS NOT THE TEXT AS SENT");
    console.Kill();
    return Met(shown, limitSeconds) && asSent ? 0 : 1;
}

int BehindUnbrokenMain(int mebibytes)
{
    const std::string a = Letters(0, static_cast<size_t>(mebibytes) * kMi);
    const std::string b = "the line of client B, a second after client A's frame\r\n";
    const std::wstring expected = Widen(a + b);
    CConsoleProcess console;
    const IdleConsole idle = StartIdle(console);
    UniqueSocket clientA = idle.error ? UniqueSocket() : ConnectClient();
    UniqueSocket clientB = idle.error ? UniqueSocket() : ConnectClient();
    if (!clientA || !clientB) {
        std::printf("FAILED: %s\n", idle.error ? idle.error : "a client could not connect");
        return 1;
    }
    const std::wstring before = console.Text(IDC_LOG_VIEW);
    WatchFigures watched;
    double bSent = -1, bShown = -1, aShown = -1, end = 0;
    // Before B's line shows, the only line ends are those of the view before.
    const auto linesBefore = static_cast<long long>(SentLineEnds(before));
    const long long atStart = CharsBesideRowEnds(console, linesBefore);
    bool verified = false;
    bool sendFailed = false;
    std::thread senders;
    {
        Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), false, watched);
        const double start = Now();
        senders = std::thread([&] {
            sendFailed = !SendAll(clientA.Get(), Frame(a));
            const double left = 1.0 - (Now() - start);
            if (left > 0)
                ::Sleep(static_cast<DWORD>(left * 1000));
            bSent = Now() - start;
            sendFailed = !SendAll(clientB.Get(), Frame(b)) || sendFailed;
        });
        for (;;) {
            const long long shown = CharsBesideRowEnds(console, linesBefore) - atStart;
            const double now = Now() - start;
            if (aShown < 0 && shown >= static_cast<long long>(a.size()))
                aShown = now;
            if (shown + 1 >= static_cast<long long>(CharsBesideCrLf(expected)) &&
                AsSent(console.Text(IDC_LOG_VIEW)) == before + expected) {
                bShown = now;
                end = now;
                break;
            }
            if (now > 600 || !Alive(console)) {
                end = now;
                break;
            }
            ::Sleep(5);
        }
    }
    senders.join();
    verified = ShownOf(console.Text(IDC_LOG_VIEW), before.size(), expected, verified) == expected.size() && verified;
    std::printf("client A: one frame of %d MiB without a line break; client B: one line, sent %.2f s after A began\n",
                mebibytes, bSent);
    if (aShown >= 0)
        std::printf("  A's frame shown whole after %.2f s (%.0f characters/s)\n", aShown,
                    static_cast<double>(a.size()) / aShown);
    else
        std::printf("  A's frame NOT WHOLE after %.1f s: %lld of its %zu characters shown\n", end,
                    CharsBesideRowEnds(console, linesBefore) - atStart, a.size());
    if (bShown >= 0)
        std::printf("  B's line shown %.2f s after it was sent, after A's frame: %s\n", bShown - bSent,
                    verified ? "the text sent, in order" : "NOT VERIFIED");
    else
        std::printf("  B's line NOT SHOWN after %.1f s; view %s\n", end, verified ? "in order so far" : "NOT VERIFIED");
    PrintRoundTrips(watched);
    std::printf("  view waiting for paint: median %.0f ms, max %.0f ms\n", watched.staleMs.Median(),
                watched.staleMs.Max());
    console.Kill();
    return !sendFailed && bShown >= 0 && verified && bShown - bSent <= 5.0 ? 0 : 1;
}

} // namespace zelbench
