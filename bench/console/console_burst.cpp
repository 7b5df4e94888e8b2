#include "console_burst.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_mode/bench_check.h"
#include "bench_watcher.h"
#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {
// Whether the view holds `sentChars` characters as sent, of which `sentLineEnds` line ends: told
// from its length and rows first (no copy of its text), then read once they say it may.
bool ViewHoldsSent(const CConsoleProcess& console, size_t sentChars, long long sentLineEnds)
{
    const int length = console.TextLength(IDC_LOG_VIEW);
    if (length < 0 || static_cast<size_t>(length) < sentChars)
        return false;
    // A row ends in a line end sent, or in one of the view's own, of three characters.
    const auto rows = static_cast<long long>(::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0));
    const long long viewBreaksAtLeast = std::max(0LL, rows - 1 - sentLineEnds);
    if (length - static_cast<long long>(kViewBreak.size()) * viewBreaksAtLeast < static_cast<long long>(sentChars))
        return false;
    return AsSent(console.Text(IDC_LOG_VIEW)).size() >= sentChars;
}
} // namespace

BurstResult RunConsoleBurst(const BenchLoad& load, bool pressKeys, bool focusView)
{
    BurstResult result;
    CConsoleProcess console;
    const IdleConsole idle = StartIdle(console);
    if (idle.error) {
        result.error = idle.error;
        return result;
    }
    result.idleWorkingSetMB = idle.workingSetMB;

    std::vector<std::string> streams;
    std::vector<UniqueSocket> sockets;
    for (int c = 0; c < load.clients; ++c) {
        streams.push_back(ClientStream(load, c));
        sockets.push_back(ConnectClient());
        if (!sockets.back()) {
            result.error = "a client could not connect";
            return result;
        }
    }
    const size_t expected = idle.viewLength + load.Chars();
    // Every frame ends its line: with the view's, these are the line ends sent.
    const std::wstring idleText = console.Text(IDC_LOG_VIEW);
    const auto lineEnds = static_cast<long long>(std::count(idleText.begin(), idleText.end(), L'\n') + load.Frames());

    std::atomic<bool> go{false};
    std::atomic<int> failed{0};
    std::vector<std::thread> senders;
    for (int c = 0; c < load.clients; ++c) {
        senders.emplace_back([&, c] {
            while (!go)
                ::Sleep(0);
            if (!SendAll(sockets[c].Get(), streams[c]))
                ++failed;
        });
    }
    if (focusView) {
        ::SetForegroundWindow(console.Window());
        ::SendMessageW(console.Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(console.Control(IDC_LOG_VIEW)), TRUE);
    }
    ::Sleep(100); // every sender waits at the line

    {
        Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), pressKeys, result.watched);
        const double start = Now();
        go = true;
        for (;;) {
            if (ViewHoldsSent(console, expected, lineEnds))
                break;
            if (failed || Now() - start > 600) {
                result.error = failed ? "a client could not send" : "the view did not fill within 10 minutes";
                break;
            }
            ::Sleep(5);
        }
        result.seconds = Now() - start;
    }
    if (!result.error.empty())
        console.Kill(); // a sender still blocked on a console that stopped reading fails now
    for (std::thread& t : senders)
        t.join();

    const PROCESS_MEMORY_COUNTERS memory = Memory(console.Process());
    result.peakWorkingSetMB = static_cast<double>(memory.PeakWorkingSetSize) / kMB;
    result.peakPrivateMB = static_cast<double>(memory.PeakPagefileUsage) / kMB;

    const std::wstring view = AsSent(console.Text(IDC_LOG_VIEW));
    result.viewChars = view.size();
    result.viewLines = static_cast<int>(::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0));
    const zelsend::BenchCheck check = zelsend::VerifyBenchText(ToUtf8(view), load.clients, load.framesPerClient);
    result.verified = check.Ok() && check.ignored == 1 && view.size() == expected;
    result.verifySummary = check.Summary();
    return result;
}

} // namespace zelbench
