#include "where_time.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_text.h"
#include "edit_ceiling.h"
#include "log/log_registry.h"
#include "net/zel_socket.h"
#include "testkit/pump.h"
#include "testkit/soak_check.h"
#include "testkit/wire_text.h"
#include "ui/zel_log_console_dlg.h"

namespace zelbench {
namespace {

// What reaches the log view, by kind.
enum ViewPart { kLength, kCaret, kScroll, kAppend, kPaint, kTrim, kOtherView, kViewParts };
const char* const kViewPartNames[kViewParts] = {"length queries (WM_GETTEXTLENGTH)", "caret moves (EM_SETSEL)",
                                                "scrolls (EM_SCROLLCARET)",          "appends (EM_REPLACESEL)",
                                                "paints (WM_PAINT, erase)",          "trims (line index, handle)",
                                                "anything else to the view"};

// What the loop dispatches, by kind, and the waits between.
enum LoopPart { kFlush, kReads, kTimer, kLoopPaint, kOtherMessage, kIdle, kLoopParts };
const char* const kLoopPartNames[kLoopParts] = {"flush steps (WM_ZEL_FLUSHLOG)",
                                                "socket notifications (reads, decoding)",
                                                "turn timer (WM_TIMER)",
                                                "paints from the loop (WM_PAINT)",
                                                "other messages",
                                                "waiting for a message (idle)"};

double g_viewMs[kViewParts] = {};
double g_viewCpuMs[kViewParts] = {};
int g_viewCount[kViewParts] = {};
// The appends' cost against their length, for a straight line: a part per append plus a part
// per character.
struct Fit {
    double n = 0, x = 0, y = 0, xx = 0, xy = 0;
    void Add(double chars, double ms)
    {
        n += 1;
        x += chars;
        y += ms;
        xx += chars * chars;
        xy += chars * ms;
    }
    double Slope() const { return (n * xy - x * y) / (n * xx - x * x); }
    double Intercept() const { return (y - Slope() * x) / n; }
} g_appendFit, g_appendCpuFit;
int g_depth = 0;
WNDPROC g_viewProc = nullptr;

constexpr size_t kMixUnbroken = 200000;

// A dispatch that kept the thread over kSlowMs: what the operator feels as a late answer.
constexpr double kSlowMs = 80;
struct SlowDispatch {
    int part;
    double ms, atSeconds;
    size_t viewChars;
    double viewMs[kViewParts];
};

ViewPart PartOf(UINT message)
{
    switch (message) {
    case WM_GETTEXTLENGTH:
        return kLength;
    case EM_SETSEL:
        return kCaret;
    case EM_SCROLLCARET:
        return kScroll;
    case EM_REPLACESEL:
        return kAppend;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_NCPAINT:
        return kPaint;
    case EM_LINEFROMCHAR:
    case EM_LINEINDEX:
    case EM_GETHANDLE:
        return kTrim;
    default:
        return kOtherView;
    }
}

// The view's own procedure, timed: only the outermost message, so that nothing counts twice.
LRESULT CALLBACK TimedViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_depth > 0)
        return ::CallWindowProcW(g_viewProc, hwnd, message, wParam, lParam);
    ++g_depth;
    const double cpuStart = ThreadCpuSeconds();
    const double start = Now();
    const LRESULT result = ::CallWindowProcW(g_viewProc, hwnd, message, wParam, lParam);
    const double ms = (Now() - start) * 1000;
    const double cpuMs = (ThreadCpuSeconds() - cpuStart) * 1000;
    const ViewPart part = PartOf(message);
    g_viewMs[part] += ms;
    g_viewCpuMs[part] += cpuMs;
    ++g_viewCount[part];
    if (part == kAppend) {
        const double chars = static_cast<double>(std::wcslen(reinterpret_cast<const wchar_t*>(lParam)));
        g_appendFit.Add(chars, ms);
        g_appendCpuFit.Add(chars, cpuMs);
    }
    --g_depth;
    return result;
}

LoopPart PartOf(const MSG& msg, HWND dialog)
{
    if (msg.message == WM_ZEL_FLUSHLOG)
        return kFlush;
    if (msg.message == WM_TIMER)
        return kTimer;
    if (msg.message == WM_PAINT)
        return kLoopPaint;
    if (msg.hwnd && msg.hwnd != dialog && !::IsChild(dialog, msg.hwnd) && msg.message >= WM_USER)
        return kReads; // the socket notifier's window: each registration has a message of its own
    return kOtherMessage;
}

// The soak's other loads, until `stop`: every second an unbroken frame, and 6 clients that
// send part of a large frame and reset.
void MixLoad(const std::atomic<bool>& stop, std::atomic<int>& unbrokenSent)
{
    const std::string unbroken = Frame(UnbrokenLetters(kMixUnbroken));
    while (!stop) {
        std::vector<UniqueSocket> partial;
        for (int c = 0; c < 6; ++c) {
            partial.push_back(ConnectClient());
            if (partial.back())
                SendAll(partial.back().Get(), LengthBytes(500000) + std::string(30000 - 4, 'r'));
        }
        UniqueSocket s = ConnectClient();
        if (s && SendAll(s.Get(), unbroken))
            ++unbrokenSent;
        ::shutdown(s.Get(), SD_SEND);
        for (UniqueSocket& p : partial) {
            const linger hard = {1, 0};
            ::setsockopt(p.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
            p.Reset();
        }
        ::Sleep(1000);
    }
}

} // namespace

int WhereTimeMain(int clients, long long framesPerClient, int frameSize, bool mix)
{
    BenchLoad load;
    load.clients = clients;
    load.framesPerClient = framesPerClient;
    load.frameSize = static_cast<size_t>(frameSize);

    CZelLogConsoleDlg dlg;
    if (!dlg.Create())
        return 1;
    ::ShowWindow(dlg.m_hWnd, SW_SHOW);
    dlg.ToggleLogService();
    HWND view = dlg.m_editLog.m_hWnd;
    g_viewProc =
        reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TimedViewProc)));
    PumpQueued();
    const size_t expected =
        static_cast<size_t>(dlg.m_editLog.GetWindowTextLength()) + static_cast<size_t>(load.Frames()) * load.frameSize;

    std::atomic<bool> go{false};
    std::atomic<int> failed{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> senders;
    for (int c = 0; c < clients; ++c) {
        senders.emplace_back([&, c] {
            const std::string stream = ClientStream(load, c);
            UniqueSocket s = ConnectClient();
            while (!go)
                ::Sleep(1);
            if (!s || !SendAll(s.Get(), stream))
                ++failed;
            ++finished;
        });
    }
    // Every client accepted before the clock starts.
    PumpUntil([&] { return CZelSocket::LiveCount() == static_cast<size_t>(clients); }, 30000);
    for (int p = 0; p < kViewParts; ++p) {
        g_viewMs[p] = 0;
        g_viewCpuMs[p] = 0;
        g_viewCount[p] = 0;
    }
    g_appendFit = Fit();
    g_appendCpuFit = Fit();

    std::vector<SlowDispatch> slow;
    double loopMs[kLoopParts] = {};
    double loopCpuMs[kLoopParts] = {};
    int loopCount[kLoopParts] = {};
    // The bench's own look at the view's length, untimed and only every 50 ms: the console
    // asks for it too, and a look of the bench's after each change would cost what it measures.
    auto shownChars = [&] {
        ++g_depth;
        const auto length = static_cast<size_t>(dlg.m_editLog.GetWindowTextLength());
        --g_depth;
        return length;
    };
    const double cpuAtStart = ThreadCpuSeconds();
    const double start = Now();
    double lastLook = start;
    go = true;
    std::atomic<bool> mixStop{false};
    std::atomic<int> unbrokenSent{0};
    std::atomic<bool> mixDone{false};
    std::thread mixer;
    if (mix)
        mixer = std::thread([&] {
            MixLoad(mixStop, unbrokenSent);
            mixDone = true;
        });
    while (!failed && Now() - start < 600) {
        if (Now() - lastLook > 0.05) {
            lastLook = Now();
            if (shownChars() >= expected + static_cast<size_t>(unbrokenSent) * kMixUnbroken)
                break;
        }
        MSG msg;
        const double waitStart = Now();
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            loopMs[kIdle] += (Now() - waitStart) * 1000;
            ++loopCount[kIdle];
            continue;
        }
        const LoopPart part = PartOf(msg, dlg.m_hWnd);
        const double cpuStart = ThreadCpuSeconds();
        double viewBefore[kViewParts];
        std::copy(g_viewMs, g_viewMs + kViewParts, viewBefore);
        const double dispatchStart = Now();
        if (!::IsDialogMessageW(dlg.m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const double dispatchMs = (Now() - dispatchStart) * 1000;
        if (dispatchMs > kSlowMs) {
            SlowDispatch s{part, dispatchMs, dispatchStart - start, shownChars(), {}};
            for (int p = 0; p < kViewParts; ++p)
                s.viewMs[p] = g_viewMs[p] - viewBefore[p];
            slow.push_back(s);
        }
        loopMs[part] += dispatchMs;
        loopCpuMs[part] += (ThreadCpuSeconds() - cpuStart) * 1000;
        ++loopCount[part];
    }
    const double seconds = Now() - start;
    const double cpuSeconds = ThreadCpuSeconds() - cpuAtStart;
    const size_t shown = shownChars();
    mixStop = true;
    if (mixer.joinable()) {
        PumpUntil([&] { return mixDone.load(); }, 30000); // its last round is read while it ends
        mixer.join();
    }
    // A sender still blocked on a full socket needs the loop to read on before it can end.
    if (!PumpUntil([&] { return finished == clients; }, 30000)) {
        std::printf("FAILED: a client could not send all of its frames\n");
        for (std::thread& t : senders)
            t.detach(); // ended with the process
        return 1;
    }
    for (std::thread& t : senders)
        t.join();
    ::SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_viewProc));
    if (shown < expected) {
        std::printf("FAILED: the view holds %zu of %zu characters\n", shown, expected);
        return 1;
    }

    const double wallMs = seconds * 1000;
    std::printf("console (in this process): %.2f s (%.2f s of its thread's processor time), %.0f frames/s\n", seconds,
                cpuSeconds, static_cast<double>(load.Frames()) / seconds);
    std::printf("%-42s %9s %7s %9s %7s %9s\n", "the thread's time, by message", "ms", "share", "cpu ms", "count",
                "ms each");
    for (int p = 0; p < kLoopParts; ++p)
        std::printf("%-42s %9.0f %6.1f%% %9.0f %7d %9.2f\n", kLoopPartNames[p], loopMs[p], 100 * loopMs[p] / wallMs,
                    loopCpuMs[p], loopCount[p], loopCount[p] ? loopMs[p] / loopCount[p] : 0.0);
    std::printf("%-42s %9s %7s %9s %7s %9s\n", "of which in the log view", "ms", "share", "cpu ms", "count", "ms each");
    for (int p = 0; p < kViewParts; ++p)
        std::printf("%-42s %9.0f %6.1f%% %9.0f %7d %9.2f\n", kViewPartNames[p], g_viewMs[p], 100 * g_viewMs[p] / wallMs,
                    g_viewCpuMs[p], g_viewCount[p], g_viewCount[p] ? g_viewMs[p] / g_viewCount[p] : 0.0);
    std::printf("dispatches over %.0f ms: %zu\n", kSlowMs, slow.size());
    for (const SlowDispatch& s : slow) {
        std::printf("  %6.1f ms at %6.2f s, view %9zu chars: %s;", s.ms, s.atSeconds, s.viewChars,
                    kLoopPartNames[s.part]);
        for (int p = 0; p < kViewParts; ++p)
            if (s.viewMs[p] >= 1)
                std::printf(" %s %.1f ms;", kViewPartNames[p], s.viewMs[p]);
        std::printf("\n");
    }
    std::printf("characters per append: %.0f; an append costs %.1f ms + %.3f us a character (processor time: %.1f "
                "ms + %.3f us)\n",
                g_viewCount[kAppend] ? static_cast<double>(shown) / g_viewCount[kAppend] : 0.0, g_appendFit.Intercept(),
                1000 * g_appendFit.Slope(), g_appendCpuFit.Intercept(), 1000 * g_appendCpuFit.Slope());
    std::fflush(stdout);
    dlg.ToggleLogService();
    ::DestroyWindow(dlg.m_hWnd);
    PumpQueued();

    const CeilingResult ceiling = RunCeilingProcess(clients, framesPerClient, load.frameSize, 1024 * 1024);
    if (ceiling.seconds <= 0) {
        std::printf("ceiling: FAILED\n");
        return 1;
    }
    std::printf("ceiling: %.2f s (%.2f s of processor time), %d appends, append median %.1f ms, paint median %.1f "
                "ms\nconsole / ceiling: %.2f x by wall time, %.2f x by processor time\n",
                ceiling.seconds, ceiling.cpuSeconds, ceiling.batches, ceiling.append.median, ceiling.paint.median,
                ceiling.seconds / seconds, ceiling.cpuSeconds / cpuSeconds);
    return 0;
}

} // namespace zelbench
