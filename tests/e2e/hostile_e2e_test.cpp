// Clients that do not speak the log protocol, or stop speaking it half-way, against the real
// console. While each kind is at work a well-behaved client keeps sending numbered frames, and
// another thread keeps asking the window for an answer. Afterwards every numbered frame must be
// in the view, in order, and the console's handles and memory must be back where they were once
// the hostile clients are gone.
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

#include "bench_payload.h"
#include "console_process.h"
#include "res/resource.h"
#include "tests/common/wire_text.h"

namespace {

const wchar_t kStarted[] = L"日志服务启动成功，正在侦听...\r\n";
constexpr u_short kPort = 11925;
constexpr int32_t kLargestFrame = 16 * 1024 * 1024;
// The window must answer every sample within this, whatever the clients do.
constexpr DWORD kAnswerMs = 1000;
// Only keeps a broken build from hanging the suite.
constexpr DWORD kLimitMs = 60000;
constexpr DWORD kConnectLimitMs = 5000;

// What is allowed to stay behind once the hostile clients are gone. Handles: none; every
// connection holds one, so a connection kept or leaked shows at once. Memory: the heap keeps
// some of the blocks it grew by (the view's text buffer keeps its peak size after a clear, the
// socket table its buckets); under Wine every case comes back within half a MiB, and a case
// whose partial frames were kept would hold several MiB more.
constexpr long kHandleSlack = 0;
constexpr size_t kMemorySlack = 2 * 1024 * 1024;

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// Time left until a point set at its making, for waits that share one limit.
class Deadline {
public:
    explicit Deadline(DWORD limitMs) : m_until(::GetTickCount64() + limitMs) {}
    DWORD Left() const
    {
        const ULONGLONG now = ::GetTickCount64();
        return now < m_until ? static_cast<DWORD>(m_until - now) : 0;
    }

private:
    ULONGLONG m_until;
};

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
long HandleTableCount(DWORD processId)
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
long HandleCount(HANDLE process, DWORD processId)
{
    DWORD count = 0;
    if (::GetProcessHandleCount(process, &count) && count > 0)
        return static_cast<long>(count);
    return HandleTableCount(processId);
}

// Private memory committed in the process, touched or not. Wine's memory counters report
// only resident pages, so a large buffer reserved for a frame that never comes would not show
// in them; walking the address space sees it.
size_t CommittedPrivateBytes(HANDLE process)
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* at = nullptr;
    while (::VirtualQueryEx(process, at, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
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

std::ostream& operator<<(std::ostream& out, const ResourceUse& use)
{
    return out << use.handles << " handles, " << use.committed / 1024 << " KiB committed, " << use.resident / 1024
               << " KiB resident";
}

ResourceUse MeasureUse(HANDLE process, DWORD processId)
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

// A TCP client of the console's port; closes its socket when it goes.
class Client {
public:
    Client() : m_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        // Every write leaves as it is, so the console sees the pieces the test cut.
        BOOL noDelay = TRUE;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        // A console that stops reading must fail the test, not hang it in a send.
        const DWORD sendLimitMs = kLimitMs / 2;
        ::setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendLimitMs),
                     sizeof sendLimitMs);
    }
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // 0 once connected, else the Winsock error; WSAETIMEDOUT when the console's queue of
    // waiting connections stayed full for the whole limit.
    int Connect()
    {
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = ::htons(kPort);
        to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        SetBlocking(false);
        if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
            ::WSAGetLastError() != WSAEWOULDBLOCK)
            return ::WSAGetLastError();
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(m_socket, &writable);
        FD_SET(m_socket, &failed);
        timeval limit = {kConnectLimitMs / 1000, 0};
        if (::select(0, nullptr, &writable, &failed, &limit) != 1)
            return WSAETIMEDOUT;
        int error = 0;
        int size = sizeof error;
        ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        SetBlocking(true);
        return error;
    }
    // 0 once all is sent, else the Winsock error: a reset when the console dropped the
    // connection, WSAETIMEDOUT when it stopped reading.
    int SendAll(const std::string& bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const int n = ::send(m_socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (n <= 0)
                return ::WSAGetLastError();
            sent += static_cast<size_t>(n);
        }
        return 0;
    }
    bool Send(const std::string& bytes) { return SendAll(bytes) == 0; }
    // True when the console closes (or resets) the connection within the limit.
    bool ClosedByConsole(DWORD limitMs)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval limit = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
        if (::select(0, &readable, nullptr, nullptr, &limit) != 1)
            return false;
        char byte;
        return ::recv(m_socket, &byte, 1, 0) <= 0;
    }
    // Aborts the connection: the console gets a reset instead of an orderly close.
    void Reset()
    {
        const linger abort = {1, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        Close();
    }
    void Close()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }

private:
    void SetBlocking(bool blocking)
    {
        u_long nonBlocking = blocking ? 0 : 1;
        ::ioctlsocket(m_socket, FIONBIO, &nonBlocking);
    }

    SOCKET m_socket;
};

using Clients = std::vector<std::unique_ptr<Client>>;

// Connects `count` more clients; false (with the error) at the first that fails.
::testing::AssertionResult ConnectMore(Clients& clients, int count)
{
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<Client>());
        if (const int error = clients.back()->Connect())
            return ::testing::AssertionFailure() << "client " << clients.size() << " got error " << error;
    }
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
        m_stop = false;
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (!SendNext()) {
                    m_failed = true;
                    return;
                }
                ::Sleep(20);
            }
        });
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    ~SequencedSender() { Stop(); }

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
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

// Asks the window for an answer over and over, from a thread of its own, and counts the
// times it did not answer within the limit.
class AnswerWatch {
public:
    explicit AnswerWatch(const CConsoleProcess& console)
        : m_thread([this, &console] {
              while (!m_stop) {
                  ++m_samples;
                  m_misses += console.Answers(kAnswerMs) ? 0 : 1;
                  ::Sleep(50);
              }
          })
    {
    }
    ~AnswerWatch() { Stop(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int Samples() const { return m_samples; }
    int Misses() const { return m_misses; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_samples{0};
    std::atomic<int> m_misses{0};
    std::thread m_thread;
};

// The view's text with a line break put before every well-behaved frame, so that text a
// hostile client got shown, which need not end its line, stays on a line of its own.
std::string SplitBeforeFrames(const std::string& text)
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
        m_process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, m_console.ProcessId());
        ASSERT_NE(m_process, nullptr);
        m_console.Click(IDC_SERVICE_BUTTON);
        ASSERT_TRUE(WaitForView([](const std::wstring& v) { return v == kStarted; }));

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

    void TearDown() override
    {
        if (m_process)
            ::CloseHandle(m_process);
    }

    ResourceUse Use() const { return MeasureUse(m_process, m_console.ProcessId()); }

    template <class Predicate>
    bool WaitForView(Predicate done) const
    {
        return m_console.WaitForText(IDC_LOG_VIEW, done, kLimitMs);
    }
    bool WaitForFrame(const std::string& text) const { return WaitForFrames({text}); }
    // Waits until the view shows all of the texts; false at the limit.
    bool WaitForFrames(const std::vector<std::string>& texts) const
    {
        std::vector<std::wstring> wide;
        for (const std::string& text : texts)
            wide.push_back(Widen(text));
        return WaitForView([&](const std::wstring& v) {
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
            zelsend::VerifyBenchText(SplitBeforeFrames(ToUtf8(m_console.Text(IDC_LOG_VIEW))), 1, m_good.Sent());
        EXPECT_TRUE(check.Ok()) << check.Summary();
        EXPECT_EQ(check.framesSeen[0], m_good.Sent());
    }

    // A client that connects now is still served.
    void ExpectStillServed()
    {
        if (HasFatalFailure())
            return; // the console is past serving anyone; the waits would only add minutes
        Client late;
        ASSERT_EQ(late.Connect(), 0);
        ASSERT_TRUE(late.Send(Frame("still served\r\n")));
        EXPECT_TRUE(WaitForFrame("still served\r\n"));
    }

    // Clears the view, whose text is the operator's to keep, then waits for the console to
    // give back what the hostile clients made it hold.
    void ExpectBackToBaseline()
    {
        if (HasFatalFailure())
            return;
        m_console.Click(IDC_CLEAR_LOG);
        ASSERT_TRUE(WaitForView([](const std::wstring& v) { return v.empty(); }));
        const ULONGLONG until = ::GetTickCount64() + 30000;
        ResourceUse now = Use();
        while (!now.Within(m_baseline) && ::GetTickCount64() < until) {
            ::Sleep(100);
            now = Use();
        }
        EXPECT_LE(now.handles, m_baseline.handles + kHandleSlack) << "now " << now << "; at first " << m_baseline;
        EXPECT_LE(now.committed, m_baseline.committed + kMemorySlack) << "now " << now << "; at first " << m_baseline;
        EXPECT_LE(now.resident, m_baseline.resident + kMemorySlack) << "now " << now << "; at first " << m_baseline;
    }

    CConsoleProcess m_console;
    HANDLE m_process = nullptr;
    SequencedSender m_good;
    ResourceUse m_baseline;
};

std::string RandomBytes(std::mt19937& random, size_t size)
{
    std::string bytes(size, '\0');
    for (char& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

// Frames of lengths the console takes, whose payloads are random bytes.
std::string RandomFrames(std::mt19937& random, size_t size)
{
    std::uniform_int_distribution<size_t> length(1, 64 * 1024);
    std::string frames;
    while (frames.size() < size)
        frames += Frame(RandomBytes(random, length(random)));
    return frames;
}

TEST_F(HostileClientsE2E, RandomBytesOfManySizes)
{
    const unsigned seed = ::testing::UnitTest::GetInstance()->random_seed() + 1009u;
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    // Short ones end inside a length, long ones run into the console's limit, or not. Random
    // bytes inside frames of lengths it takes reach the payload decoding too.
    const size_t sizes[] = {1, 3, 4, 5, 7, 64, 1000, 4096, 65536, 65537, 1 << 20, 3 << 20};

    RunBeside([&] {
        for (int round = 0; round < 8; ++round) {
            Clients clients;
            ASSERT_TRUE(ConnectMore(clients, 2 * static_cast<int>(std::size(sizes))));
            std::vector<std::string> streams;
            for (size_t size : sizes) {
                streams.push_back(RandomBytes(random, size));
                streams.push_back(RandomFrames(random, size));
            }
            // Round robin in pieces of random size, so their reads interleave at the console.
            std::uniform_int_distribution<size_t> piece(1, 96 * 1024);
            for (bool more = true; more;) {
                more = false;
                for (size_t i = 0; i < clients.size(); ++i) {
                    if (streams[i].empty())
                        continue;
                    const size_t n = std::min(piece(random), streams[i].size());
                    const int error = clients[i]->SendAll(streams[i].substr(0, n));
                    ASSERT_NE(error, WSAETIMEDOUT) << "the console stopped reading";
                    if (error != 0)
                        streams[i].clear(); // dropped by the console: a length past the limit
                    else
                        streams[i].erase(0, n);
                    more = more || !streams[i].empty();
                }
            }
        }
    });
    ExpectStillServed();
    ExpectBackToBaseline();
}

TEST_F(HostileClientsE2E, HttpRequestsAreDroppedAndShowNothing)
{
    // Any request line reads as a length of hundreds of megabytes, past what a frame may be.
    const std::string requests[] = {
        "GET / HTTP/1.1\r\nHost: 127.0.0.1:11925\r\nConnection: keep-alive\r\n\r\n",
        "POST /log HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 11\r\n\r\nhello world",
        "OPTIONS * HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
        "GET /favicon.ico HTTP/1.0\r\n\r\n",
    };
    RunBeside([&] {
        for (int round = 0; round < 100; ++round) {
            Clients clients;
            ASSERT_TRUE(ConnectMore(clients, static_cast<int>(std::size(requests))));
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(clients[i]->Send(requests[i]));
            // A browser waits for an answer; the console closes on it instead.
            const Deadline deadline(kLimitMs);
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(clients[i]->ClosedByConsole(deadline.Left())) << "request " << i << " was left open";
        }
    });
    const std::wstring view = m_console.Text(IDC_LOG_VIEW);
    EXPECT_EQ(view.find(L"HTTP"), std::wstring::npos);
    EXPECT_EQ(view.find(L"Host"), std::wstring::npos);
    ExpectStillServed();
    ExpectBackToBaseline();
}

TEST_F(HostileClientsE2E, AnnouncedFramesThenSilenceCostNothingAndStayOpen)
{
    constexpr int kEach = 8;
    const std::string late(997, 'w');
    RunBeside([&] {
        Clients largest, small, tooLarge;
        ASSERT_TRUE(ConnectMore(largest, kEach));
        ASSERT_TRUE(ConnectMore(small, kEach));
        ASSERT_TRUE(ConnectMore(tooLarge, 2));
        for (auto& c : largest)
            ASSERT_TRUE(c->Send(LengthBytes(kLargestFrame)));
        for (auto& c : small)
            ASSERT_TRUE(c->Send(LengthBytes(1000)));
        for (auto& c : tooLarge)
            ASSERT_TRUE(c->Send(LengthBytes(kLargestFrame + 1)));
        const Deadline deadline(kLimitMs);
        for (auto& c : tooLarge)
            EXPECT_TRUE(c->ClosedByConsole(deadline.Left())) << "a length past the limit was kept";

        ::Sleep(3000);
        // Holding what was announced would be 8 x 16 MiB.
        const ResourceUse silent = Use();
        EXPECT_LE(silent.committed, m_baseline.committed + kMemorySlack) << silent;
        EXPECT_LE(silent.resident, m_baseline.resident + kMemorySlack) << silent;
        EXPECT_GE(silent.handles, m_baseline.handles + 2 * kEach) << "silent clients were dropped";
        for (auto& c : largest)
            EXPECT_FALSE(c->ClosedByConsole(0)) << "a silent client was dropped";

        // The small frames, completed after the silence, come out whole.
        std::vector<std::string> texts;
        for (int i = 0; i < kEach; ++i) {
            texts.push_back(late + std::to_string(i) + "\r\n");
            ASSERT_TRUE(small[i]->Send(texts.back()));
        }
        EXPECT_TRUE(WaitForFrames(texts));
    });
    ExpectStillServed();
    ExpectBackToBaseline();
}

TEST_F(HostileClientsE2E, FiveHundredClientsStalledInTheirLengthAreKeptAndFreed)
{
    constexpr int kStalled = 500;
    const auto frameOf = [](int i) { return Frame("stalled " + std::to_string(i) + " resumed\r\n"); };
    RunBeside([&] {
        Clients clients;
        ASSERT_TRUE(ConnectMore(clients, kStalled));
        for (int i = 0; i < kStalled; ++i)
            ASSERT_TRUE(clients[i]->Send(frameOf(i).substr(0, 3)));
        // Each stalled client is one open connection in the console.
        const ULONGLONG until = ::GetTickCount64() + kLimitMs;
        while (Use().handles < m_baseline.handles + kStalled && ::GetTickCount64() < until)
            ::Sleep(100);
        EXPECT_GE(Use().handles, m_baseline.handles + kStalled);
        ::Sleep(2000);

        // Stalled is not lost: a few finish their frames, which come out whole.
        std::vector<std::string> texts;
        for (int i = 0; i < kStalled; i += 50) {
            ASSERT_TRUE(clients[i]->Send(frameOf(i).substr(3)));
            texts.push_back("stalled " + std::to_string(i) + " resumed\r\n");
        }
        EXPECT_TRUE(WaitForFrames(texts));
    });
    ExpectStillServed();
    ExpectBackToBaseline();
}

TEST_F(HostileClientsE2E, ClientsResetMidPayloadAreFreedWithTheirPartialFrames)
{
    constexpr int32_t kAnnounced = 4 * 1024 * 1024;
    // How much of its payload each client sends before the reset.
    const size_t cuts[] = {0, 1, 1000, 64 * 1024, 64 * 1024 + 1, 1 << 20, 3 << 20, kAnnounced - 1};
    const std::string marker = "never shown ";
    std::string payload;
    while (payload.size() < static_cast<size_t>(kAnnounced))
        payload += marker;
    size_t sent = 0;
    for (size_t cut : cuts)
        sent += cut;
    RunBeside([&] {
        for (int round = 0; round < 6; ++round) {
            Clients clients;
            ASSERT_TRUE(ConnectMore(clients, static_cast<int>(std::size(cuts))));
            for (size_t i = 0; i < clients.size(); ++i)
                ASSERT_TRUE(clients[i]->Send(LengthBytes(kAnnounced) + payload.substr(0, cuts[i])));
            // The partial frames are in the console, so that keeping them would show.
            const ULONGLONG until = ::GetTickCount64() + kLimitMs;
            while (Use().committed < m_baseline.committed + sent / 2 && ::GetTickCount64() < until)
                ::Sleep(50);
            ASSERT_GE(Use().committed, m_baseline.committed + sent / 2) << "the partial frames never arrived";
            for (auto& c : clients)
                c->Reset();
        }
    });
    EXPECT_EQ(m_console.Text(IDC_LOG_VIEW).find(Widen(marker)), std::wstring::npos);
    ExpectStillServed();
    ExpectBackToBaseline();
}

TEST_F(HostileClientsE2E, TenThousandConnectDisconnectCycles)
{
    constexpr int kCycles = 10000;
    RunBeside([&] {
        for (int i = 0; i < kCycles; ++i) {
            Client c;
            ASSERT_EQ(c.Connect(), 0) << "cycle " << i;
        }
    });
    ExpectStillServed();
    ExpectBackToBaseline();
}

} // namespace
