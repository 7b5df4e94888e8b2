#include "soak.h"

#include <winsock2.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_console.h"
#include "bench_mode/bench_payload.h"
#include "bench_round_trips.h"
#include "bench_stats.h"
#include "memory_map.h"
#include "res/resource.h"
#include "testkit/soak_check.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {

constexpr int kLineClients = 12;
constexpr int64_t kLinesPerClient = 2000;
constexpr size_t kLineSize = 100;
constexpr int kResetClients = 6;
constexpr int32_t kResetFrame = 500000;
constexpr size_t kResetSent = 30000;
constexpr size_t kUnbroken = 200000;
constexpr int kUnbrokenEvery = 3;
constexpr int kClearEvery = 5;
constexpr double kStallSeconds = 120;
constexpr DWORD kIdleMs = 10000;
constexpr double kBoundMB = 20;

const std::string& UnbrokenText()
{
    static const std::string text = UnbrokenLetters(kUnbroken);
    return text;
}

// One client sends `stream`, then closes gracefully.
bool SendAndClose(const std::string& stream)
{
    UniqueSocket s = ConnectClient();
    if (!s)
        return false;
    const bool sent = SendAll(s.Get(), stream);
    ::shutdown(s.Get(), SD_SEND);
    return sent;
}

// One client's lines, numbered on from `firstSeq`.
bool SendLines(int client, int64_t firstSeq)
{
    std::string stream;
    stream.reserve(static_cast<size_t>(kLinesPerClient) * (kLineSize + 4));
    for (int64_t i = 0; i < kLinesPerClient; ++i)
        stream += Frame(zelsend::MakeBenchPayload(client, firstSeq + i, kLineSize));
    return SendAndClose(stream);
}

// The start of a large frame that never ends.
UniqueSocket StartPartialFrame()
{
    UniqueSocket s = ConnectClient();
    if (s && !SendAll(s.Get(), LengthBytes(kResetFrame) + std::string(kResetSent - 4, 'r')))
        s.Reset();
    return s;
}

// Closes with a reset instead of an orderly close.
void ResetConnection(UniqueSocket& s)
{
    const linger hard = {1, 0};
    ::setsockopt(s.Get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    s.Reset();
}

// The view's characters beside line breaks, read as sent: its own row ends and the sent CR LFs
// aside.
long long CharactersBesideBreaks(const CConsoleProcess& console)
{
    const std::wstring sent = AsSent(console.Text(IDC_LOG_VIEW));
    long long breaks = 0;
    for (size_t at = sent.find(L"\r\n"); at != std::wstring::npos; at = sent.find(L"\r\n", at + 2))
        ++breaks;
    return static_cast<long long>(sent.size()) - 2 * breaks;
}

// Waits until the view holds `length` characters beside line breaks; an error in words when it
// stops short of them or passes them. `clearing`: the view is being emptied, so it may hold more
// until then. Length and row count alone only bound the count from above (a row end of the
// view's own is three characters, a sent one two), so once the bound has reached `length` and
// held still for a look, `countAsSent` reads the text for the exact count.
std::string WaitForView(const CConsoleProcess& console, size_t length, bool clearing,
                        const std::function<long long()>& countAsSent)
{
    const long long wanted = static_cast<long long>(length);
    double lastChange = Now();
    for (long long last = -2, read = -2;; ::Sleep(20)) {
        const int chars = console.TextLength(IDC_LOG_VIEW);
        if (chars < 0)
            return Alive(console) ? "the view could not be read" : "the console ended";
        if (wanted == 0 && chars == 0)
            return "";
        const auto rows = ::SendMessageW(console.Control(IDC_LOG_VIEW), EM_GETLINECOUNT, 0, 0);
        const long long bound = chars - 2 * (static_cast<long long>(rows) - 1);
        const bool still = bound == last;
        if (!still) {
            last = bound;
            lastChange = Now();
        }
        if (wanted > 0 && still && bound >= wanted && chars != read) {
            read = chars;
            const long long now = countAsSent();
            if (now == wanted)
                return "";
            if (now > wanted && !clearing)
                return "the view holds " + std::to_string(now) + " characters, more than the " +
                       std::to_string(length) + " sent";
        }
        if (Now() - lastChange > kStallSeconds)
            return "the view stopped at " + std::to_string(bound) + " of " + std::to_string(length) + " characters";
    }
}

// One round; `firstSeq` numbers its lines on from the rounds since the last clear.
std::string RunRound(int64_t firstSeq, bool unbroken)
{
    std::vector<UniqueSocket> partial;
    for (int c = 0; c < kResetClients; ++c)
        partial.push_back(StartPartialFrame());
    std::vector<char> sent(kLineClients + 1, 1);
    std::vector<std::thread> senders;
    for (int c = 0; c < kLineClients; ++c)
        senders.emplace_back([&sent, c, firstSeq] { sent[c] = SendLines(c, firstSeq); });
    if (unbroken)
        senders.emplace_back([&sent] { sent[kLineClients] = SendAndClose(Frame(UnbrokenText())); });
    for (std::thread& sender : senders)
        sender.join();
    int refused = 0;
    for (UniqueSocket& s : partial) {
        refused += !s;
        if (s)
            ResetConnection(s);
    }
    for (char ok : sent)
        refused += !ok;
    return refused ? std::to_string(refused) + " clients could not connect or send" : "";
}

struct MemoryFigures {
    double workingSetMB = 0;
    double privateMB = 0;
    MemoryMap map;
};

MemoryFigures MemoryOf(const CConsoleProcess& console)
{
    const PROCESS_MEMORY_COUNTERS counters = Memory(console.Process());
    return {static_cast<double>(counters.WorkingSetSize) / kMB, static_cast<double>(counters.PagefileUsage) / kMB,
            ReadMemoryMap(console.Process())};
}

// The lines of the heap report's last walk.
std::string LatestHeapReport(const std::wstring& path)
{
    std::vector<std::string> lines;
    if (FILE* in = _wfopen(path.c_str(), L"r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, in))
            lines.emplace_back(line);
        std::fclose(in);
    }
    std::string latest;
    const std::string stamp = lines.empty() ? "" : lines.back().substr(0, lines.back().find(" s "));
    for (const std::string& line : lines) {
        if (line.compare(0, stamp.size() + 3, stamp + " s ") == 0)
            latest += "      " + line;
    }
    return latest;
}

class Soak {
public:
    Soak(CConsoleProcess& console, std::wstring heapReport)
        : m_console(console), m_heapReport(std::move(heapReport)), m_trips(console.Window())
    {
    }

    // Rounds until the minutes are up; false with `m_error` set when something went wrong.
    bool Run(int minutes)
    {
        m_start = Now();
        std::printf("%5s %7s %8s %8s %8s %7s %7s  %s\n", "min", "rounds", "M lines", "WS MB", "priv MB", "rt p99",
                    "rt max", "private memory: total, allocations; largest (committed/reserved MB)");
        std::fflush(stdout);
        while (Now() - m_start < minutes * 60.0) {
            const bool unbroken = m_rounds % kUnbrokenEvery == kUnbrokenEvery - 1;
            m_error = RunRound(m_segment.rounds * kLinesPerClient, unbroken);
            // Characters beside line breaks: each line's CR LF aside.
            m_segment.expected +=
                static_cast<size_t>(kLineClients * kLinesPerClient) * (kLineSize - 2) + (unbroken ? kUnbroken : 0);
            if (m_error.empty())
                m_error = WaitForView(m_console, m_segment.expected, false, [this] { return CountAsSent(); });
            if (!m_error.empty())
                return false;
            ++m_rounds;
            ++m_segment.rounds;
            m_segment.unbroken += unbroken;
            if (m_rounds % kClearEvery == 0 && !CheckAndClear())
                return false;
            if (m_rounds == kClearEvery)
                m_baseline = Idle("after the first rounds and a clear");
            if (Now() - m_start >= 60.0 * (m_rows + 1))
                Row();
        }
        return CheckAndClear();
    }

    // Idle after a clear: the memory that stays.
    MemoryFigures Idle(const char* when)
    {
        ::Sleep(kIdleMs);
        m_trips.TakeInterval(); // an idle window says nothing of the load
        const MemoryFigures idle = MemoryOf(m_console);
        std::printf("idle %lu s %s: working set %.1f MB, private %.1f MB; private memory %s\n", kIdleMs / 1000, when,
                    idle.workingSetMB, idle.privateMB, idle.map.Describe().c_str());
        if (!m_heapReport.empty())
            std::printf("%s", LatestHeapReport(m_heapReport).c_str());
        std::fflush(stdout);
        return idle;
    }

    void PrintTotals() const
    {
        const double seconds = Now() - m_start;
        // Every round before the last clear was checked; every kUnbrokenEvery-th sent an unbroken frame.
        const int64_t verifiedLines =
            static_cast<int64_t>(m_rounds - m_segment.rounds) * kLineClients * kLinesPerClient;
        const int verifiedUnbroken = m_rounds / kUnbrokenEvery - m_segment.unbroken;
        std::printf("soak: %d rounds in %.1f min, %.1f M lines verified whole and in order, %d unbroken frames, %d "
                    "frames reset mid-way%s\n",
                    m_rounds, seconds / 60, static_cast<double>(verifiedLines) / 1e6, verifiedUnbroken,
                    m_rounds * kResetClients, m_error.empty() ? "; nothing lost" : "");
        const PROCESS_MEMORY_COUNTERS counters = Memory(m_console.Process());
        std::printf("window round trip (%zu samples): median %.1f ms, p99 %.1f ms, max %.1f ms; %.2f %% over 100 ms; "
                    "peak working set %.1f MB\n",
                    m_allTrips.Count(), m_allTrips.Median(), m_allTrips.Quantile(0.99), m_allTrips.Max(),
                    100.0 * m_allTrips.ShareOver(100), static_cast<double>(counters.PeakWorkingSetSize) / kMB);
    }

    const std::string& Error() const { return m_error; }
    const MemoryFigures& Baseline() const { return m_baseline; }

private:
    // What the rounds since the last clear sent, which the next check looks for.
    struct Segment {
        int rounds = 0;
        int unbroken = 0;    // frames without a line break
        size_t expected = 0; // characters beside line breaks
    };

    // Checks the view against what was sent since the last clear, then clears it.
    bool CheckAndClear()
    {
        if (m_segment.rounds == 0)
            return true;
        KeepTrips();
        m_error = CheckSoakView(ToUtf8(AsSent(m_console.Text(IDC_LOG_VIEW))), kLineClients,
                                m_segment.rounds * kLinesPerClient, m_segment.unbroken, kUnbroken);
        ::Sleep(50);
        m_trips.TakeInterval(); // reading the whole view held the window: not the operator's wait
        if (!m_error.empty())
            return false;
        m_console.Click(IDC_CLEAR_LOG);
        m_segment = Segment();
        m_error = WaitForView(m_console, 0, true, nullptr);
        return m_error.empty();
    }

    // The view's exact count; the window's answers meanwhile are the bench's own doing.
    long long CountAsSent()
    {
        KeepTrips();
        const long long count = CharactersBesideBreaks(m_console);
        ::Sleep(50);
        m_trips.TakeInterval();
        return count;
    }

    void KeepTrips()
    {
        const Samples taken = m_trips.TakeInterval();
        m_minuteTrips.Append(taken);
        m_allTrips.Append(taken);
    }

    void Row()
    {
        KeepTrips();
        ++m_rows;
        const MemoryFigures now = MemoryOf(m_console);
        std::printf("%5d %7d %8.2f %8.1f %8.1f %7.1f %7.1f  %s\n", m_rows, m_rounds,
                    static_cast<double>(m_rounds) * kLineClients * kLinesPerClient / 1e6, now.workingSetMB,
                    now.privateMB, m_minuteTrips.Quantile(0.99), m_minuteTrips.Max(), now.map.Describe().c_str());
        if (!m_heapReport.empty())
            std::printf("%s", LatestHeapReport(m_heapReport).c_str());
        std::fflush(stdout);
        m_minuteTrips = Samples();
    }

    CConsoleProcess& m_console;
    const std::wstring m_heapReport;
    RoundTrips m_trips;
    Samples m_minuteTrips;
    Samples m_allTrips;
    MemoryFigures m_baseline;
    std::string m_error;
    Segment m_segment;
    double m_start = 0;
    int m_rows = 0;
    int m_rounds = 0;
};

} // namespace

int SoakMain(int minutes, bool heaps)
{
    std::wstring heapReport;
    CConsoleProcess console;
    if (heaps) {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        heapReport = std::wstring(folder) + L"zel_soak_heaps.txt";
        ::DeleteFileW(heapReport.c_str());
        ::SetEnvironmentVariableW(L"ZEL_HEAP_REPORT", heapReport.c_str());
        console.SetExe(CConsoleProcess::WindowsPath(ZEL_HEAP_REPORT_EXE));
    }
    const IdleConsole idle = StartIdle(console);
    if (idle.error) {
        std::printf("soak: FAILED: %s\n", idle.error);
        return 1;
    }
    // The status line goes, so that the view holds the rounds' text only.
    console.Click(IDC_CLEAR_LOG);
    if (!WaitForView(console, 0, true, nullptr).empty()) {
        std::printf("soak: FAILED: the view did not clear\n");
        return 1;
    }
    std::printf("soak: %d minutes of rounds: %d clients x %lld lines of %zu bytes; %d clients reset a %d-byte frame "
                "after %zu bytes; every %d rounds a %zu-letter frame without a line break; every %d rounds a "
                "check and a clear. Console idle: working set %.1f MB\n",
                minutes, kLineClients, static_cast<long long>(kLinesPerClient), kLineSize, kResetClients, kResetFrame,
                kResetSent, kUnbrokenEvery, kUnbroken, kClearEvery, idle.workingSetMB);
    std::fflush(stdout);

    Soak soak(console, heapReport);
    const bool ran = soak.Run(minutes);
    soak.PrintTotals();
    if (!ran) {
        std::printf("soak: FAILED: %s\n", soak.Error().c_str());
        return 1;
    }
    const MemoryFigures end = soak.Idle("after the last round and a clear");
    const double grown = end.workingSetMB - soak.Baseline().workingSetMB;
    std::printf("memory: working set %.1f MB after the last clear against %.1f MB after the first: %+.1f MB (bound "
                "%.0f MB): %s\n",
                end.workingSetMB, soak.Baseline().workingSetMB, grown, kBoundMB, grown <= kBoundMB ? "ok" : "OVER");
    return grown <= kBoundMB ? 0 : 1;
}

} // namespace zelbench
