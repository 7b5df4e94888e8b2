#pragma once
// Hostile clients against the real console: raw clients, a well-behaved client that keeps
// sending numbered frames, a watch that keeps asking the window for an answer, and the
// console's handles and memory. A case runs its hostile clients beside the other two; then
// every numbered frame must be in the view, in order, and the console's handles and memory
// must be back where they were once the hostile clients are gone.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_mode/bench_check.h"
#include "testkit/console_process.h"
#include "res/resource.h"
#include "testkit/background.h"
#include "testkit/test_client.h"
#include "testkit/memory_regions.h"
#include "testkit/wait.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace hostile {

constexpr int32_t kLargestFrame = 16 * 1024 * 1024;
// The window must answer every sample within this, whatever the clients do.
constexpr DWORD kAnswerMs = 1000;
// Only keeps a broken build from hanging the suite.
constexpr DWORD kLimitMs = 60000;

// What is allowed to stay behind once the hostile clients are gone. Handles: none; every
// connection holds one, so a connection kept or leaked shows at once. Memory: the heap keeps
// some of the blocks it grew by (the view's text buffer keeps its peak size after a clear, the
// socket table its buckets); under Wine every case comes back within half a MiB, and a case
// whose partial frames were kept would hold several MiB more.
constexpr long kHandleSlack = 0;
constexpr size_t kMemorySlack = 2 * 1024 * 1024;

// ---- What the console process holds, seen from outside it ----

// One entry of the system's handle table (SystemExtendedHandleInformation).
struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};

// Handles a process holds, counted in the system's handle table; -1 when it cannot be read.
inline long HandleTableCount(DWORD processId)
{
    using QuerySystem = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    static const auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<char> table(1 << 20);
    LONG status;
    while ((status = query(kExtendedHandleInformation, table.data(), static_cast<ULONG>(table.size()), nullptr)) ==
           kLengthMismatch)
        table.resize(table.size() * 2);
    if (status != 0)
        return -1;
    const ULONG_PTR entries = *reinterpret_cast<const ULONG_PTR*>(table.data());
    const auto* entry = reinterpret_cast<const HandleEntry*>(table.data() + 2 * sizeof(ULONG_PTR));
    long count = 0;
    for (ULONG_PTR i = 0; i < entries; ++i)
        count += entry[i].processId == processId ? 1 : 0;
    return count;
}

// Wine answers GetProcessHandleCount for another process with success and 0; a live process
// with a window holds handles, so 0 means the count is not kept and the table is read instead.
inline long HandleCount(HANDLE process, DWORD processId)
{
    DWORD count = 0;
    if (::GetProcessHandleCount(process, &count) && count > 0)
        return static_cast<long>(count);
    return HandleTableCount(processId);
}

// Private memory committed in the process, touched or not. Wine's memory counters report
// only resident pages, so a large buffer reserved for a frame that never comes would not show
// in them; walking the address space sees it.
inline size_t CommittedPrivateBytes(HANDLE process)
{
    size_t total = 0;
    ForEachRegion(process, [&](const MEMORY_BASIC_INFORMATION& region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
    });
    return total;
}

struct ResourceUse {
    long handles = 0;
    size_t committed = 0; // private bytes committed
    size_t resident = 0;  // private bytes in memory (PagefileUsage)

    bool Within(const ResourceUse& baseline) const
    {
        return handles <= baseline.handles + kHandleSlack && committed <= baseline.committed + kMemorySlack &&
               resident <= baseline.resident + kMemorySlack;
    }
};

inline std::ostream& operator<<(std::ostream& out, const ResourceUse& use)
{
    return out << use.handles << " handles, " << use.committed / 1024 << " KiB committed, " << use.resident / 1024
               << " KiB resident";
}

inline ResourceUse MeasureUse(HANDLE process, DWORD processId)
{
    ResourceUse use;
    use.handles = HandleCount(process, processId);
    use.committed = CommittedPrivateBytes(process);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, &counters, sizeof counters))
        use.resident = counters.PagefileUsage;
    return use;
}

// ---- Clients ----

// A client whose sends give up at a limit: a console that stops reading fails the test instead
// of hanging it.
class Client : public TestClient {
public:
    Client() { SetSendLimit(kLimitMs / 2); }
};

using Clients = std::vector<std::unique_ptr<Client>>;

// Connects `count` more clients; false (with the error) at the first that fails.
inline ::testing::AssertionResult ConnectMore(Clients& clients, int count)
{
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<Client>());
        if (const int error = clients.back()->Connect())
            return ::testing::AssertionFailure() << "client " << clients.size() << " got error " << error;
    }
    return ::testing::AssertionSuccess();
}

// Connects one more client for each text, then sends each its own.
inline ::testing::AssertionResult ConnectAndSend(Clients& clients, const std::vector<std::string>& texts)
{
    const size_t first = clients.size();
    if (auto connected = ConnectMore(clients, static_cast<int>(texts.size())); !connected)
        return connected;
    for (size_t i = 0; i < texts.size(); ++i)
        if (!clients[first + i]->Send(texts[i]))
            return ::testing::AssertionFailure() << "client " << first + i + 1 << " could not send";
    return ::testing::AssertionSuccess();
}

// The client that does everything right: numbered frames of varied sizes, one about every
// 20 ms, from a thread of its own while the test plays the hostile ones.
class SequencedSender {
public:
    ::testing::AssertionResult Connect()
    {
        if (const int error = m_client.Connect())
            return ::testing::AssertionFailure() << "the well-behaved client got error " << error;
        return ::testing::AssertionSuccess();
    }
    bool SendNext() { return m_client.Send(Frame(zelsend::MakeBenchPayload(0, m_sent++, m_size(m_random)))); }
    void Start()
    {
        m_loop = std::make_unique<BackgroundLoop>([this] {
            m_failed = !SendNext();
            ::Sleep(20);
            return !m_failed;
        });
    }
    void Stop() { m_loop.reset(); }

    int64_t Sent() const { return m_sent; }
    bool Failed() const { return m_failed; }
    // "c000 s00000123", the start of the last frame sent, to wait for.
    std::string LastId() const
    {
        return zelsend::MakeBenchPayload(0, m_sent - 1, zelsend::kBenchMinSize).substr(0, 14);
    }

private:
    Client m_client;
    std::mt19937 m_random{7};
    std::uniform_int_distribution<size_t> m_size{zelsend::kBenchMinSize, 120};
    std::atomic<int64_t> m_sent{0};
    std::atomic<bool> m_failed{false};
    std::unique_ptr<BackgroundLoop> m_loop;
};

// Asks the window for an answer over and over, from a thread of its own, and counts the
// times it did not answer within the limit.
class AnswerWatch {
public:
    explicit AnswerWatch(const CConsoleProcess& console)
        : m_loop([this, &console] {
              ++m_samples;
              m_misses += console.Answers(kAnswerMs) ? 0 : 1;
              ::Sleep(50);
              return true;
          })
    {
    }
    void Stop() { m_loop.Stop(); }
    int Samples() const { return m_samples; }
    int Misses() const { return m_misses; }

private:
    std::atomic<int> m_samples{0};
    std::atomic<int> m_misses{0};
    BackgroundLoop m_loop; // last: it stops before the counts go
};

// The view's text with a line break put before every well-behaved frame, so that text a
// hostile client got shown, which need not end its line, stays on a line of its own.
inline std::string SplitBeforeFrames(const std::string& text)
{
    const std::string header = "c000 s";
    std::string split;
    size_t from = 0;
    for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) {
        split.append(text, from, at - from);
        split += '\n';
        from = at;
    }
    split.append(text, from, std::string::npos);
    return split;
}

class HostileClientsE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_console.Start()) << "no window titled as the console";
        m_process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_console.ProcessId()));
        ASSERT_TRUE(m_process);
        ASSERT_TRUE(m_console.StartService());

        // Warm-up: the first connection and the first append make what the console keeps
        // for good (the receive buffer, the socket window, the view's first lines).
        ASSERT_TRUE(m_good.Connect());
        ASSERT_TRUE(m_good.SendNext());
        ASSERT_TRUE(WaitForFrame(m_good.LastId()));
        m_baseline = Use();
        ASSERT_GT(m_baseline.handles, 0) << "the console's handles cannot be counted";
        ASSERT_GT(m_baseline.committed, 0u) << "the console's memory cannot be read";
        ASSERT_GT(m_baseline.resident, 0u) << "the console's memory counters cannot be read";
    }

    ResourceUse Use() const { return MeasureUse(m_process.Get(), m_console.ProcessId()); }
    // One figure of Use(), for waits that poll it: the other readings walk the handle table or
    // the address space for nothing.
    long Handles() const { return HandleCount(m_process.Get(), m_console.ProcessId()); }
    size_t Committed() const { return CommittedPrivateBytes(m_process.Get()); }

    template <class Predicate>
    bool WaitForView(Predicate done) const
    {
        return m_console.WaitForText(IDC_LOG_VIEW, done, kLimitMs);
    }
    bool WaitForFrame(const std::string& text) const { return WaitForFrames({text}); }
    // Waits until the view shows all of the texts, as sent; false at the limit.
    bool WaitForFrames(const std::vector<std::string>& texts) const
    {
        std::vector<std::wstring> wide;
        for (const std::string& text : texts)
            wide.push_back(Widen(text));
        return WaitForView([&](const std::wstring& view) {
            const std::wstring v = AsSent(view);
            return std::all_of(wide.begin(), wide.end(), [&](const std::wstring& w) { return v.find(w) != v.npos; });
        });
    }
    // Runs the hostile clients while the well-behaved one sends and the window is watched;
    // then checks that every well-behaved frame is shown, whole and in order.
    void RunBeside(const std::function<void()>& hostile)
    {
        {
            AnswerWatch watch(m_console);
            m_good.Start();
            hostile();
            m_good.Stop();
            watch.Stop();
            EXPECT_GT(watch.Samples(), 0);
            EXPECT_EQ(watch.Misses(), 0) << "of " << watch.Samples() << " samples, the window did not answer within "
                                         << kAnswerMs << " ms";
        }
        ASSERT_FALSE(m_good.Failed()) << "the console dropped the well-behaved client";
        ASSERT_TRUE(WaitForFrame(m_good.LastId())) << "the last well-behaved frame never came";
        const zelsend::BenchCheck check =
            zelsend::VerifyBenchText(SplitBeforeFrames(ToUtf8(AsSent(m_console.Text(IDC_LOG_VIEW)))), 1, m_good.Sent());
        EXPECT_TRUE(check.Ok()) << check.Summary();
        EXPECT_EQ(check.framesSeen[0], m_good.Sent());
    }

    // Runs rounds of hostile clients beside the well-behaved one: each round connects one more
    // client for each text, sends each its own, and hands them to `then` before they go.
    void RoundsBeside(int rounds, const std::vector<std::string>& texts, const std::function<void(Clients&)>& then)
    {
        RunBeside([&] {
            for (int round = 0; round < rounds && !HasFatalFailure(); ++round) {
                Clients clients;
                ASSERT_TRUE(ConnectAndSend(clients, texts));
                then(clients);
            }
        });
    }

    // A client that connects now is still served.
    void ExpectStillServed()
    {
        if (HasFatalFailure())
            return; // the console is past serving anyone; the waits would only add minutes
        Client late;
        ASSERT_EQ(late.ConnectThenSend(Frame("still served\r\n")), 0);
        EXPECT_TRUE(WaitForFrame("still served\r\n"));
    }

    // Clears the view, whose text is the operator's to keep, then waits for the console to
    // give back what the hostile clients made it hold.
    void ExpectBackToBaseline(size_t memorySlack = kMemorySlack)
    {
        if (HasFatalFailure())
            return;
        m_console.Click(IDC_CLEAR_LOG);
        ASSERT_TRUE(WaitForView([](const std::wstring& v) { return v.empty(); }));
        ResourceUse now;
        WaitUntil(
            [&] {
                now = Use();
                return now.Within(m_baseline);
            },
            30000, [] { ::Sleep(100); });
        EXPECT_LE(now.handles, m_baseline.handles + kHandleSlack) << "now " << now << "; at first " << m_baseline;
        EXPECT_LE(now.committed, m_baseline.committed + memorySlack) << "now " << now << "; at first " << m_baseline;
        EXPECT_LE(now.resident, m_baseline.resident + memorySlack) << "now " << now << "; at first " << m_baseline;
    }

    CConsoleProcess m_console;
    UniqueHandle m_process;
    SequencedSender m_good;
    ResourceUse m_baseline;
};

} // namespace hostile
