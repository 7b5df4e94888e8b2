#include "view_stream.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_paint_gaps.h"
#include "bench_mode/bench_payload.h"
#include "bench_round_trips.h"
#include "bench_stats.h"
#include "bench_text.h"
#include "res/resource.h"
#include "testkit/background.h"
#include "testkit/console_process.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {

constexpr double kMillion = 1e6;

// How far the sender has come, written by its thread.
struct SendProgress {
    std::atomic<int64_t> framesSent{0};
    std::atomic<bool> failed{false};
};

// Sends frames 0 .. frames-1 of client 0, made as they go, in writes of about 64 KiB, on a thread
// of its own until all are sent or it is stopped; `progress` outlives it.
BackgroundLoop SendFrames(SOCKET s, int64_t frames, size_t frameSize, SendProgress& progress)
{
    return BackgroundLoop([s, frames, frameSize, &progress] {
        std::string chunk;
        int64_t seq = progress.framesSent;
        while (seq < frames && chunk.size() < 64 * 1024)
            chunk += Frame(zelsend::MakeBenchPayload(0, seq++, frameSize));
        if (chunk.empty())
            return false;
        if (!SendAll(s, chunk)) {
            progress.failed = true;
            return false;
        }
        progress.framesSent = seq;
        return true;
    });
}

// The view must be frames first .. last of client 0, whole and in order, with nothing between.
bool VerifyTail(const std::wstring& view, int64_t lastSeq, size_t frameSize, int64_t* firstSeq)
{
    const std::string text = ToUtf8(view);
    const int64_t frames = static_cast<int64_t>(text.size() / frameSize);
    if (frames == 0 || text.size() % frameSize != 0)
        return false;
    *firstSeq = lastSeq - frames + 1;
    for (int64_t i = 0; i < frames; ++i) {
        const std::string expected = zelsend::MakeBenchPayload(0, *firstSeq + i, frameSize);
        if (text.compare(static_cast<size_t>(i) * frameSize, frameSize, expected) != 0)
            return false;
    }
    return true;
}

// The operator's Select All and Copy of the whole view, timed: the clipboard must then hold the
// view's text as sent.
bool CopyAll(const CConsoleProcess& console, const std::wstring& asSent)
{
    const HWND view = console.Control(IDC_LOG_VIEW);
    ::SendMessageW(view, EM_SETSEL, 0, -1);
    const double start = Now();
    ::SendMessageW(view, WM_COPY, 0, 0);
    const double seconds = Now() - start;
    std::wstring clipboard;
    if (::OpenClipboard(nullptr)) {
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            clipboard = static_cast<const wchar_t*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    const bool same = clipboard == asSent;
    std::printf("copy: Select All and Copy of %zu characters took %.2f s; the clipboard holds %zu characters: %s\n",
                asSent.size(), seconds, clipboard.size(), same ? "the text as sent" : "NOT THE TEXT AS SENT");
    return same;
}

void PrintRow(double sentChars, int viewChars, const PROCESS_MEMORY_COUNTERS& memory, const Samples& trips,
              const Samples& paintGaps, double charsPerSecond)
{
    std::printf("%10.0f %10.2f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.0f %8.0f %8.0f %10.2f\n", sentChars / kMillion,
                viewChars / kMillion, static_cast<double>(memory.WorkingSetSize) / kMB,
                static_cast<double>(memory.PeakWorkingSetSize) / kMB, trips.Median(), trips.Quantile(0.99), trips.Max(),
                100.0 * trips.ShareOver(100), paintGaps.Median(), paintGaps.Quantile(0.99), paintGaps.Max(),
                charsPerSecond / kMillion);
    std::fflush(stdout);
}

} // namespace

int ViewStreamMain(int millions, size_t frameSize, int stallSeconds, int limitSeconds)
{
    CConsoleProcess console;
    if (const char* failed = console.StartWithService()) {
        std::printf("stream: FAILED: %s\n", failed);
        return 1;
    }
    // The status line goes, so that the view holds frames only.
    console.Click(IDC_CLEAR_LOG);
    console.WaitForText(IDC_LOG_VIEW, [](const std::wstring& t) { return t.empty(); });

    const int64_t frames = static_cast<int64_t>(millions * kMillion / static_cast<double>(frameSize));
    UniqueSocket client = ConnectOrSay("stream: FAILED: could not connect");
    if (!client)
        return 1;
    std::printf("stream: %lld frames of %zu bytes, %.0f million characters\n", static_cast<long long>(frames),
                frameSize, static_cast<double>(frames) * static_cast<double>(frameSize) / kMillion);
    // "paint": the time between two changes of the view on the screen (bench_paint_gaps.h).
    std::printf("%10s %10s %8s %8s %8s %8s %8s %8s %8s %8s %8s %10s\n", "sent Mch", "view Mch", "WS MB", "peak MB",
                "rt med", "rt p99", "rt max", "%>100ms", "pt med", "pt p99", "pt max", "Mch/s");
    std::fflush(stdout);

    // Rows at sizes of the view while it grows, then at amounts of text sent.
    const double viewMarks[] = {1, 4, 8, 16, 20, 24};
    const size_t viewMarkCount = sizeof viewMarks / sizeof viewMarks[0];
    size_t nextViewMark = 0;
    std::vector<double> sentMarks = {32, 64, 128, 256, 512, 1000};
    for (double m = 1500; m <= millions; m += 500)
        sentMarks.push_back(m);
    size_t nextSentMark = 0;
    bool ok = true;
    double streamStart = 0;
    {
        RoundTrips trips(console.Window());
        PaintGaps paints(console.Control(IDC_LOG_VIEW));
        SendProgress progress;
        BackgroundLoop sender = SendFrames(client.Get(), frames, frameSize, progress);
        const double start = streamStart = Now();
        double markTime = start, markChars = 0, lastProgress = start;
        int64_t lastSent = 0;
        for (;;) {
            ::Sleep(50);
            const int64_t sent = progress.framesSent;
            const double sentChars = static_cast<double>(sent) * static_cast<double>(frameSize);
            const double now = Now();
            if (sent != lastSent) {
                lastSent = sent;
                lastProgress = now;
            }
            const int viewChars = console.TextLength(IDC_LOG_VIEW);
            bool row = false;
            while (nextViewMark < viewMarkCount && viewChars >= viewMarks[nextViewMark] * kMillion) {
                row = true;
                ++nextViewMark;
            }
            while (nextSentMark < sentMarks.size() && sentChars >= sentMarks[nextSentMark] * kMillion) {
                row = true;
                ++nextSentMark;
            }
            if (row) {
                PrintRow(sentChars, viewChars, Memory(console.Process()), trips.TakeInterval(), paints.TakeInterval(),
                         (sentChars - markChars) / (now - markTime));
                markTime = now;
                markChars = sentChars;
            }
            if (sent == frames)
                break;
            if (progress.failed || now - lastProgress > stallSeconds || now - start > limitSeconds) {
                PrintRow(sentChars, console.TextLength(IDC_LOG_VIEW), Memory(console.Process()), trips.TakeInterval(),
                         paints.TakeInterval(), (sentChars - markChars) / (now - markTime));
                std::printf("stream: STOPPED after %.0f s: %s\n", now - start,
                            progress.failed              ? "the connection failed"
                            : now - start > limitSeconds ? "time limit reached"
                                                         : "no progress");
                ok = false;
                break;
            }
        }
        client.Reset(); // the sender's blocked send, if any, returns
        sender.Stop();
        if (ok)
            std::printf("stream: all sent in %.0f s\n", Now() - start);
    }
    if (!ok)
        return 1;

    // Everything sent: once the view has stopped changing for ten seconds, it must end with
    // the last frame. Only its length is polled meanwhile: reading the whole text is dear.
    const double waitStart = Now();
    double changed = waitStart;
    for (int length = -1;;) {
        ::Sleep(500);
        const int now = console.TextLength(IDC_LOG_VIEW);
        if (now != length) {
            length = now;
            changed = Now();
        }
        // On a busy machine (load 8 on two cores) the view stood still for over three seconds.
        if (Now() - changed > 10)
            break;
        if (Now() - waitStart > stallSeconds * 10) {
            std::printf("stream: FAILED: the view was still changing after %d s\n", stallSeconds * 10);
            return 1;
        }
    }
    std::printf("stream: the view came to rest %.0f s after the last frame was sent\n", changed - waitStart);
    std::printf("stream: the last frame showed %.1f s after the first was sent: %.0f characters/s\n",
                changed - streamStart,
                static_cast<double>(frames) * static_cast<double>(frameSize) / (changed - streamStart));
    const std::wstring view = AsSent(console.Text(IDC_LOG_VIEW));
    int64_t firstSeq = 0;
    const bool whole = VerifyTail(view, frames - 1, frameSize, &firstSeq);
    const PROCESS_MEMORY_COUNTERS memory = Memory(console.Process());
    std::printf("view: %zu characters, frames %lld to %lld: %s\n", view.size(), static_cast<long long>(firstSeq),
                static_cast<long long>(frames - 1), whole ? "whole, in order, none missing" : "NOT VERIFIED");
    if (!whole) {
        // Where it went wrong: the first lines that are not a whole frame.
        const std::string text = ToUtf8(view);
        int shown = 0;
        for (size_t at = 0; at < text.size() && shown < 3;) {
            const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
            if (end - at != frameSize || text.compare(at, 6, "c000 s") != 0) {
                std::printf("at %zu: %s\n", at, text.substr(at, std::min<size_t>(end - at, 200)).c_str());
                ++shown;
            }
            at = end;
        }
    }
    std::printf("memory at the end: working set %.1f MB, peak %.1f MB\n",
                static_cast<double>(memory.WorkingSetSize) / kMB, static_cast<double>(memory.PeakWorkingSetSize) / kMB);
    const bool copied = CopyAll(console, view);
    return whole && copied ? 0 : 1;
}

} // namespace zelbench
