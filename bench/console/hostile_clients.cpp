#include "hostile_clients.h"

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_mode/bench_check.h"
#include "bench_text.h"
#include "bench_watcher.h"
#include "platform/scoped.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {

// The console's budget for text not yet shown, plus 100 MB, in the MiB the bench prints as MB.
constexpr double kHeldLimitMB = 80 + 100e6 / kMB;

const char* AliveOrEnded(const CConsoleProcess& console)
{
    return Alive(console) ? "alive" : "ENDED";
}

// Ends a line of figures with the console's state and memory now.
void PrintConsoleNow(const CConsoleProcess& console)
{
    std::printf("console %s, working set %.1f MB (peak %.1f MB)\n", AliveOrEnded(console), WorkingSetMB(console),
                PeakWorkingSetMB(console));
    std::fflush(stdout);
}

// Clients that all send the same bytes, each from its own position, without blocking.
struct SameBytesClients {
    std::vector<UniqueSocket> sockets;
    std::vector<size_t> sent;
    int dropped = 0; // disconnected by the console while sending

    // False, saying which, when a client cannot connect.
    bool Connect(int clients)
    {
        for (int c = 0; c < clients; ++c) {
            UniqueSocket s = ConnectClient();
            if (!s) {
                std::printf("FAILED: client %d could not connect\n", c);
                return false;
            }
            u_long nonBlocking = 1;
            ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
            sockets.push_back(std::move(s));
            sent.push_back(0);
        }
        return true;
    }

    // Sends whatever the connections take, 64 KiB a call at most, until every client has sent
    // all or was dropped, none has taken anything for 3 s, or limitSeconds have passed.
    // Returns when the last bytes were taken.
    double SendUntilStalled(const std::string& bytes, double limitSeconds)
    {
        const double start = Now();
        double lastProgress = start;
        while (Now() - lastProgress < 3 && Now() - start < limitSeconds && Whole(bytes) + dropped < Count()) {
            bool progress = false;
            for (size_t c = 0; c < sockets.size(); ++c) {
                if (!sockets[c] || sent[c] == bytes.size())
                    continue;
                const int n = ::send(sockets[c].Get(), bytes.data() + sent[c],
                                     static_cast<int>(std::min<size_t>(64 * 1024, bytes.size() - sent[c])), 0);
                if (n > 0) {
                    sent[c] += static_cast<size_t>(n);
                    progress = true;
                } else if (::WSAGetLastError() != WSAEWOULDBLOCK) {
                    sockets[c].Reset();
                    ++dropped;
                }
            }
            if (progress)
                lastProgress = Now();
            else
                ::Sleep(10);
        }
        return lastProgress;
    }

    int Count() const { return static_cast<int>(sockets.size()); }
    int Whole(const std::string& bytes) const
    {
        int whole = 0;
        for (size_t s : sent)
            whole += s == bytes.size();
        return whole;
    }
};

// A client that behaves, sent after the hostile ones; it keeps its connection.
struct GoodClient {
    UniqueSocket socket;
    bool sent = false;      // all of its text went out
    double shownAfter = -1; // seconds until its text showed; -1 when not within 120 s

    // False, saying so, when its `what` did not show or did not all go out.
    bool Shown(const char* what) const
    {
        if (shownAfter >= 0 && sent)
            return true;
        std::printf("good client: FAILED: its %s did not show within 120 s (sent: %s)\n", what, sent ? "yes" : "no");
        return false;
    }
};

// A good client sends `stream`, which adds `chars` to the view.
GoodClient SendGood(const CConsoleProcess& console, const std::string& stream, size_t chars)
{
    GoodClient good;
    const int before = console.TextLength(IDC_LOG_VIEW);
    good.socket = ConnectClient();
    good.sent = good.socket && SendAll(good.socket.Get(), stream);
    if (before >= 0)
        good.shownAfter = WaitForViewLength(console, static_cast<size_t>(before) + chars, 120, 5);
    return good;
}

// Ends the console's line: its peak working set against the idle one and the limit; true when
// it stayed within the limit.
bool PrintPeakWithinLimit(const CConsoleProcess& console, double idle)
{
    const double peak = PeakWorkingSetMB(console);
    std::printf("peak working set %.1f MB = idle %.1f MB + %.1f MB (limit: the 80 MiB budget + 100 MB = %.1f MB over "
                "idle)\n",
                peak, idle, peak - idle, kHeldLimitMB);
    return peak - idle <= kHeldLimitMB;
}

// What a flood of frames came to.
struct Flood {
    int64_t frames = 0;
    bool failed = false; // the connection failed
    double wallSeconds = 0;
};

// Sends `chunk` (`framesPerChunk` frames) over and over for `seconds`, while the window is
// watched and keys are pressed.
Flood SendFlood(const CConsoleProcess& console, SOCKET client, const std::string& chunk, int64_t framesPerChunk,
                int seconds, WatchFigures& watched)
{
    Flood flood;
    Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), true, watched);
    ::Sleep(500); // the key thread has put the focus on the buttons
    const double start = Now();
    while (Now() - start < seconds && !flood.failed) {
        flood.failed = !SendAll(client, chunk);
        flood.frames += flood.failed ? 0 : framesPerChunk;
    }
    flood.wallSeconds = Now() - start;
    return flood;
}

// Closes every client, waits `ms`, and says how the console took it.
void CloseClients(SameBytesClients& flock, GoodClient& good, const CConsoleProcess& console, DWORD ms)
{
    flock.sockets.clear();
    good.socket.Reset();
    ::Sleep(ms);
    std::printf("after the clients closed: console %s, working set %.1f MB\n", AliveOrEnded(console),
                WorkingSetMB(console));
}

// Runs `load` with `clients` clients on a console serving and idle, after a line that says what
// each client will do, with the console's idle working set.
int AgainstIdleConsole(int clients, const char* each, int (*load)(CConsoleProcess& console, int clients, double idle))
{
    return OnServedConsole([&](CConsoleProcess& console, const IdleConsole& served) {
        std::printf("%d clients each %s; idle working set %.1f MB\n", clients, each, served.workingSetMB);
        std::fflush(stdout);
        return load(console, clients, served.workingSetMB);
    });
}

int HoldLarge(CConsoleProcess& console, int clients, double idle)
{
    // Every client sends the same bytes: one buffer, a position per client.
    const std::string held = LengthBytes(16 * kMi) + std::string(15 * kMi, 'h');
    WatchFigures watched;
    Watcher watcher(console.Window(), console.Control(IDC_LOG_VIEW), false, watched);
    SameBytesClients flock;
    if (!flock.Connect(clients))
        return 1;
    const double start = Now();
    const double lastProgress = flock.SendUntilStalled(held, 300);
    const int dropped = flock.dropped;
    double total = 0;
    for (size_t s : flock.sent)
        total += static_cast<double>(s);
    const int whole = flock.Whole(held);
    std::printf("hostile clients: %.0f MB sent in all (the console's and the system's buffers) in %.1f s; %d sent all "
                "15 MiB, %d were disconnected by the console; ",
                total / kMB, lastProgress - start, whole, dropped);
    PrintConsoleNow(console);

    // A good client's 1,000 ordinary frames, with the others still holding theirs.
    int failures = 0;
    BenchLoad load;
    load.framesPerClient = 1000;
    GoodClient good = SendGood(console, ClientStream(load, 0), 1000 * load.frameSize);
    if (!good.Shown("1,000 frames")) {
        ++failures;
    } else {
        const zelsend::BenchCheck check = zelsend::VerifyBenchText(ToUtf8(AsSent(console.Text(IDC_LOG_VIEW))), 1, 1000);
        std::printf("good client: 1,000 frames of 100 bytes shown %.2f s after its first byte; %s: %s\n",
                    good.shownAfter, check.Ok() ? "verified" : "NOT VERIFIED", check.Summary().c_str());
        failures += !check.Ok();
    }
    ::Sleep(2000);
    watcher.Stop();
    const bool alive = Alive(console);
    std::printf("console: %s; ", alive ? "alive" : "ENDED");
    const bool withinLimit = PrintPeakWithinLimit(console, idle);
    PrintRoundTrips(watched);
    CloseClients(flock, good, console, 1000);
    return failures || !alive || !withinLimit ? 1 : 0;
}

int IdlePartial(CConsoleProcess& console, int clients, double idle)
{
    const std::string partial = LengthBytes(64000) + std::string(60 * 1024, 'i');
    SameBytesClients flock;
    const double start = Now();
    if (!flock.Connect(clients))
        return 1;
    const double connected = Now() - start;
    flock.SendUntilStalled(partial, 1e9);
    const int dropped = flock.dropped, whole = flock.Whole(partial);
    std::printf("idle clients: connected in %.1f s; %d sent their 60 KiB, %d were disconnected while sending; ",
                connected, whole, dropped);
    PrintConsoleNow(console);

    // The good client, once every idle client has sent what it will.
    const std::string good = "good client\r\n";
    GoodClient goodClient = SendGood(console, Frame(good), good.size());
    const std::wstring view = console.Text(IDC_LOG_VIEW);
    const bool verified =
        view.size() >= good.size() && view.compare(view.size() - good.size(), good.size(), Widen(good)) == 0;
    const bool shown = goodClient.Shown("13-byte frame");
    if (shown)
        std::printf("good client: its 13-byte frame shown %.2f s after it was sent; %s\n", goodClient.shownAfter,
                    verified ? "verified" : "NOT VERIFIED");

    // Clients the console dropped see their connection closed.
    int closedByConsole = dropped;
    for (UniqueSocket& s : flock.sockets) {
        char byte;
        if (s && (::recv(s.Get(), &byte, 1, 0) != SOCKET_ERROR || ::WSAGetLastError() != WSAEWOULDBLOCK))
            ++closedByConsole;
    }
    const bool alive = Alive(console);
    std::printf("console: %s; %d of %d idle clients dropped; ", alive ? "alive" : "ENDED", closedByConsole, clients);
    const bool withinLimit = PrintPeakWithinLimit(console, idle);
    CloseClients(flock, goodClient, console, 2000);
    return !shown || !verified || !alive || !withinLimit ? 1 : 0;
}

// One client floods the console with frames whose text decodes to nothing, then sends one good frame.
int EmptyFlood(CConsoleProcess& console, const IdleConsole& served, int seconds)
{
    const UniqueSocket client = ConnectOrSay("FAILED: the client could not connect");
    if (!client)
        return 1;
    const size_t before = served.viewLength;
    const double idle = served.workingSetMB;
    // Frames of one byte: a zero byte (the text ends before it starts) and a byte that is not
    // UTF-8, in turn; 64 KiB of them per write.
    std::string chunk;
    while (chunk.size() < 64 * 1024)
        chunk += Frame(std::string(1, '\0')) + Frame("\xFF");
    const int64_t framesPerChunk = static_cast<int64_t>(chunk.size() / 5);

    WatchFigures watched;
    const Flood flood = SendFlood(console, client.Get(), chunk, framesPerChunk, seconds, watched);
    const double peak = PeakWorkingSetMB(console);
    const std::string good = "good frame after the flood\r\n";
    const double goodStart = Now();
    const bool failed = flood.failed || !SendAll(client.Get(), Frame(good));
    const double shown = WaitForViewLength(console, before + good.size(), 60, 5);
    const std::wstring view = console.Text(IDC_LOG_VIEW);
    const bool verified = view.size() == before + good.size() && view.compare(before, good.size(), Widen(good)) == 0;
    std::printf("empty-text flood: %lld frames (%.0f MB) in %.1f s, %.0f frames/s%s\n",
                static_cast<long long>(flood.frames), static_cast<double>(flood.frames) * 5 / kMB, flood.wallSeconds,
                static_cast<double>(flood.frames) / flood.wallSeconds, failed ? "; the connection FAILED" : "");
    PrintRoundTrips(watched);
    std::printf("memory: peak working set %.1f MB = idle %.1f MB + %.1f MB (limit 16 MB)\n", peak, idle, peak - idle);
    std::printf("good frame after the flood: %s after %.2f s; view %s\n", shown >= 0 ? "shown" : "NOT SHOWN",
                shown >= 0 ? shown : Now() - goodStart, verified ? "verified (only that frame added)" : "NOT VERIFIED");
    return failed || shown < 0 || !verified || peak - idle >= 16 ? 1 : 0;
}

} // namespace

int HoldLargeMain(int clients)
{
    return AgainstIdleConsole(clients, "announce a 16 MiB frame and send 15 MiB of it", HoldLarge);
}

int EmptyFloodMain(int seconds)
{
    return OnServedConsole([seconds](CConsoleProcess& console, const IdleConsole& served) {
        return EmptyFlood(console, served, seconds);
    });
}

int IdlePartialMain(int clients)
{
    return AgainstIdleConsole(clients, "announce a 64,000-byte frame, send 60 KiB of it and stop", IdlePartial);
}

} // namespace zelbench
