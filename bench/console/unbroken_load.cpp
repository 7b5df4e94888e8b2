#include "unbroken_load.h"

#include <winsock2.h>

#include <cstdio>
#include <string>
#include <thread>

#include "bench_console.h"
#include "bench_text.h"
#include "bench_watcher.h"
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
    double Rate() const { return seconds > 0 ? static_cast<double>(chars) / seconds : 0; }
};

// A fresh console; one client sends `stream`, whose frames show as `expected`; the view is
// polled until it holds all of it or `limitSeconds` pass.
Shown SendAndWatch(const std::string& stream, const std::wstring& expected, double limitSeconds, size_t mark = 0)
{
    Shown shown;
    CConsoleProcess console;
    const IdleConsole idle = StartIdle(console);
    UniqueSocket client = idle.error ? UniqueSocket() : ConnectClient();
    if (!client) {
        shown.error = idle.error ? idle.error : "the client could not connect";
        return shown;
    }
    shown.idleWorkingSetMB = idle.workingSetMB;
    const size_t before = idle.viewLength;
    const size_t full = before + expected.size();
    bool sendFailed = false;
    std::thread sender;
    {
        Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), false, shown.watched);
        const double start = Now();
        sender = std::thread([&] { sendFailed = !SendAll(client.Get(), stream); });
        for (;;) {
            const int length = console.TextLength(IDC_LOG_VIEW);
            const double now = Now() - start;
            if (length >= 0 && mark > 0 && shown.markSeconds == 0 && static_cast<size_t>(length) >= before + mark)
                shown.markSeconds = now;
            if (length >= 0 && static_cast<size_t>(length) >= full) {
                shown.whole = true;
                shown.seconds = now;
                break;
            }
            if (now > limitSeconds || !Alive(console)) {
                shown.seconds = now;
                break;
            }
            ::Sleep(5);
        }
    }
    shown.peakWorkingSetMB = PeakWorkingSetMB(console);
    if (!Alive(console)) {
        shown.error = "the console ended";
    } else {
        const std::wstring view = console.Text(IDC_LOG_VIEW);
        const size_t got = view.size() > before ? view.size() - before : 0;
        shown.chars = std::min(got, expected.size());
        shown.verified = got <= expected.size() && view.compare(before, got, expected, 0, got) == 0;
    }
    console.Kill(); // a sender still blocked on a paused connection fails now
    client.Reset();
    sender.join();
    if (shown.whole && sendFailed)
        shown.error = "the client could not send";
    return shown;
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

} // namespace zelbench
