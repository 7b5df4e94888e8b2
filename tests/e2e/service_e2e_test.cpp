// The log service of the real console, driven from outside its process: the operator's clicks
// are posted to the service button, clients are plain Winsock connections from this process,
// and the view is read back with WM_GETTEXT, as the operator's eyes would read it.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_mode/bench_check.h"
#include "res/resource.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/test_client.h"
#include "testkit/wait.h"
#include "testkit/view_text.h"
#include "testkit/wire_text.h"

namespace {

// Only keeps a broken build from hanging the suite.
constexpr DWORD kLimitMs = 60000;

using Client = TestClient;

// Another program that holds the console's port.
class PortHolder {
public:
    PortHolder() : m_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        const sockaddr_in any = Ipv4(INADDR_ANY, ConsolePort());
        m_held = ::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 &&
                 ::listen(m_socket.Get(), SOMAXCONN) == 0;
    }
    bool Held() const { return m_held; }
    void Release() { m_socket.Reset(); }

private:
    UniqueSocket m_socket;
    bool m_held = false;
};

// Holds the console's window thread still, as a long append would, until thawed.
class FrozenThread {
public:
    explicit FrozenThread(HWND window)
        : m_thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, ::GetWindowThreadProcessId(window, nullptr)))
    {
        m_frozen = m_thread && ::SuspendThread(m_thread.Get()) != static_cast<DWORD>(-1);
    }
    ~FrozenThread() { Thaw(); }
    bool Frozen() const { return m_frozen; }
    void Thaw()
    {
        if (m_frozen)
            ::ResumeThread(m_thread.Get());
        m_frozen = false;
    }

private:
    UniqueHandle m_thread;
    bool m_frozen = false;
};

class LogService : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_console.Start()) << "no window titled as the console"; }

    std::wstring View() const { return m_console.Text(IDC_LOG_VIEW); }
    std::wstring Caption() const { return m_console.Text(IDC_SERVICE_BUTTON); }

    // Clicks the service button as the operator would and returns the text the click appended.
    std::wstring ClickService()
    {
        const int before = m_console.TextLength(IDC_LOG_VIEW);
        m_console.Click(IDC_SERVICE_BUTTON);
        if (!WaitForLength(before + 1))
            return L"<nothing appended>";
        // The window answers only once the click's handler has returned, caption and all.
        m_console.Answers(kLimitMs);
        return View().substr(static_cast<size_t>(before));
    }

    // Waits until the view holds at least `length` characters.
    bool WaitForLength(int length, DWORD limitMs = kLimitMs) const
    {
        return WaitUntil([&] { return m_console.TextLength(IDC_LOG_VIEW) >= length; }, limitMs);
    }

    testing::AssertionResult WaitForView(const std::wstring& expected) const
    {
        return ViewShows(m_console, expected, kLimitMs);
    }

    CConsoleProcess m_console;
};

struct ToggleStep {
    const wchar_t* line;
    const wchar_t* caption;
    int connectError; // what a new client gets afterwards
};

TEST_F(LogService, StartsStopsAndStartsAgainWithItsStatusLinesAndCaptions)
{
    ASSERT_EQ(Caption(), kCaptionStart);
    Client before;
    EXPECT_EQ(before.Connect(), WSAECONNREFUSED) << "the service must not start by itself";

    const ToggleStep steps[] = {
        {kStarted, kCaptionStop, 0},
        {kStopped, kCaptionStart, WSAECONNREFUSED},
        {kStarted, kCaptionStop, 0},
        {kStopped, kCaptionStart, WSAECONNREFUSED},
    };
    std::wstring expected;
    for (const ToggleStep& step : steps) {
        SCOPED_TRACE(::testing::Message() << "after the click that should append " << ToUtf8(step.line));
        EXPECT_EQ(ClickService(), step.line);
        EXPECT_EQ(Caption(), step.caption);
        Client probe;
        EXPECT_EQ(probe.Connect(), step.connectError);
        expected += step.line;
    }
    EXPECT_EQ(View(), expected);
}

TEST_F(LogService, PortTakenGivesTheCreateFailureUntilItIsFreed)
{
    PortHolder other;
    ASSERT_TRUE(other.Held()) << "the test could not take the port itself";

    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(::testing::Message() << "attempt " << attempt);
        EXPECT_EQ(ClickService(), kCreateFailed);
        EXPECT_EQ(Caption(), kCaptionStart);
    }

    other.Release();
    EXPECT_EQ(ClickService(), kStarted) << "a failed start must leave nothing behind";
    EXPECT_EQ(Caption(), kCaptionStop);
    Client client;
    ASSERT_EQ(client.ConnectThenSend(Frame("through\r\n")), 0);
    EXPECT_TRUE(WaitForView(std::wstring(kCreateFailed) + kCreateFailed + kStarted + L"through\r\n"));
}

TEST_F(LogService, ClientConnectedBeforeTheStopKeepsDeliveringWhileNewOnesAreRefused)
{
    ASSERT_EQ(ClickService(), kStarted);
    Client early;
    ASSERT_EQ(early.ConnectThenSend(Frame("before\r\n")), 0);
    ASSERT_TRUE(WaitForView(std::wstring(kStarted) + L"before\r\n"));

    ASSERT_EQ(ClickService(), kStopped);
    Client late;
    EXPECT_EQ(late.Connect(), WSAECONNREFUSED);

    ASSERT_TRUE(early.Send(Frame("after\r\n")));
    EXPECT_TRUE(WaitForView(std::wstring(kStarted) + L"before\r\n" + kStopped + L"after\r\n"));
}

TEST_F(LogService, TwoClientsInterleaveFrameByFrame)
{
    ASSERT_EQ(ClickService(), kStarted);
    Client a, b;
    ASSERT_EQ(a.Connect(), 0);
    ASSERT_EQ(b.Connect(), 0);

    std::wstring expected = kStarted;
    const struct {
        Client* client;
        const char* text;
    } sends[] = {{&a, "a1 "}, {&b, "b1 "}, {&b, "b2 "}, {&a, "a2 "}, {&a, "a3 "}, {&b, "b3\r\n"}};
    for (const auto& send : sends) {
        ASSERT_TRUE(send.client->Send(Frame(send.text)));
        expected += Widen(send.text);
        ASSERT_TRUE(WaitForView(expected)) << "waiting for " << send.text;
    }
}

TEST_F(LogService, ClientStalledMidFrameDoesNotHoldUpTheOthers)
{
    ASSERT_EQ(ClickService(), kStarted);
    Client inPayload, inLength, busy;
    ASSERT_EQ(inPayload.Connect(), 0);
    ASSERT_EQ(inLength.Connect(), 0);
    ASSERT_EQ(busy.Connect(), 0);

    const std::string stalledPayload = Frame(std::string(60, 'p') + "\r\n");
    const std::string stalledLength = Frame("length was cut\r\n");
    ASSERT_TRUE(inPayload.Send(stalledPayload.substr(0, 10)));
    ASSERT_TRUE(inLength.Send(stalledLength.substr(0, 2)));

    std::wstring expected = kStarted;
    for (int i = 0; i < 20; ++i) {
        const std::string text = "busy " + std::to_string(i) + "\r\n";
        ASSERT_TRUE(busy.Send(Frame(text)));
        expected += Widen(text);
    }
    EXPECT_TRUE(WaitForView(expected));
    EXPECT_TRUE(m_console.Answers(kLimitMs)) << "the window stopped answering";

    // The stalled frames are shown whole once their last bytes come.
    ASSERT_TRUE(inPayload.Send(stalledPayload.substr(10)));
    expected += std::wstring(60, L'p') + L"\r\n";
    EXPECT_TRUE(WaitForView(expected));
    ASSERT_TRUE(inLength.Send(stalledLength.substr(2)));
    expected += L"length was cut\r\n";
    EXPECT_TRUE(WaitForView(expected));
}

class LogServiceLoad : public LogService {};

TEST_F(LogServiceLoad, HundredClientsConnectingAtOnceAreAllAcceptedAndShown)
{
    constexpr int kClients = 100;
    ASSERT_EQ(ClickService(), kStarted);

    // While the console is busy, only the system's queue of waiting connections can take the
    // burst in; a short queue leaves the rest retrying their connects for seconds.
    std::vector<std::unique_ptr<Client>> clients;
    {
        FrozenThread busy(m_console.Window());
        ASSERT_TRUE(busy.Frozen());
        std::vector<WSAPOLLFD> pending;
        for (int i = 0; i < kClients; ++i) {
            clients.push_back(std::make_unique<Client>());
            ASSERT_TRUE(clients.back()->BeginConnect()) << "client " << i;
            pending.push_back(WSAPOLLFD{clients.back()->Handle(), POLLWRNORM, 0});
        }
        size_t done = 0;
        WaitUntil(
            [&] {
                ::WSAPoll(pending.data(), static_cast<ULONG>(pending.size()), 100);
                done = static_cast<size_t>(
                    std::count_if(pending.begin(), pending.end(), [](const WSAPOLLFD& p) { return p.revents != 0; }));
                return done == pending.size();
            },
            20000, [] {});
        ASSERT_EQ(done, pending.size()) << "connects still waiting while the console was busy";
    }
    for (int i = 0; i < kClients; ++i)
        ASSERT_EQ(clients[i]->ConnectResult(), 0) << "client " << i;

    std::vector<std::wstring> expectedLines;
    int expectedLength = static_cast<int>(wcslen(kStarted));
    for (int i = 0; i < kClients; ++i) {
        char text[32];
        snprintf(text, sizeof text, "client %03d\r\n", i);
        ASSERT_TRUE(clients[i]->Send(Frame(text)));
        expectedLines.emplace_back(text, text + strlen(text) - 2);
        expectedLength += static_cast<int>(strlen(text));
    }
    ASSERT_TRUE(WaitForLength(expectedLength)) << "the view holds " << ToUtf8(View());

    const std::wstring view = View();
    ASSERT_EQ(view.size(), static_cast<size_t>(expectedLength));
    ASSERT_EQ(view.compare(0, wcslen(kStarted), kStarted), 0);
    std::vector<std::wstring> lines;
    for (size_t at = wcslen(kStarted); at < view.size();) {
        const size_t end = view.find(L"\r\n", at);
        ASSERT_NE(end, std::wstring::npos);
        lines.push_back(view.substr(at, end - at));
        at = end + 2;
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, expectedLines);
}

// One write of a client; after some, the client pauses, so that the console reads the cut
// piece on its own rather than together with what follows.
struct Write {
    std::string bytes;
    bool pauseAfter = false;
};

// One client's frames as bytes on the wire, cut into the writes it sends them in: some cuts
// fall inside a length, some inside a payload, and some writes carry several frames.
std::vector<Write> CutIntoWrites(int client, int frames, std::mt19937& random, int& cutsInLength)
{
    constexpr int kPausedCuts = 12;
    std::uniform_int_distribution<size_t> size(zelsend::kBenchMinSize, 200);
    std::uniform_int_distribution<int> kind(0, 3);
    std::vector<Write> writes(1);
    int paused = 0;
    for (int seq = 0; seq < frames; ++seq) {
        const std::string frame = Frame(zelsend::MakeBenchPayload(client, seq, size(random)));
        const int k = kind(random);
        if (k == 0 || k == 1) {
            const size_t at = k == 0 ? std::uniform_int_distribution<size_t>(1, 3)(random)
                                     : std::uniform_int_distribution<size_t>(5, frame.size() - 1)(random);
            writes.back().bytes += frame.substr(0, at);
            writes.back().pauseAfter = paused < kPausedCuts && seq % 7 == 0;
            paused += writes.back().pauseAfter ? 1 : 0;
            writes.push_back(Write{frame.substr(at)});
            cutsInLength += k == 0 ? 1 : 0;
        } else {
            writes.back().bytes += frame;
            if (k == 3) // the frame ends a write; otherwise the next one joins it
                writes.emplace_back();
        }
    }
    return writes;
}

TEST_F(LogServiceLoad, SequencedLoadWithRandomWriteSizesShowsEveryFrameOnceInOrder)
{
    constexpr int kClients = 4;
    constexpr int kFrames = 1500;
    const unsigned seed = ::testing::UnitTest::GetInstance()->random_seed() + 4711u;
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    std::mt19937 random(seed);

    std::vector<std::vector<Write>> writes;
    int cutsInLength = 0;
    int expectedLength = static_cast<int>(wcslen(kStarted));
    for (int c = 0; c < kClients; ++c) {
        writes.push_back(CutIntoWrites(c, kFrames, random, cutsInLength));
        for (const Write& w : writes.back())
            expectedLength += static_cast<int>(w.bytes.size());
        expectedLength -= 4 * kFrames;
    }
    ASSERT_GT(cutsInLength, 0);

    ASSERT_EQ(ClickService(), kStarted);
    std::vector<std::unique_ptr<Client>> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.push_back(std::make_unique<Client>());
        ASSERT_EQ(clients.back()->Connect(), 0);
    }
    std::vector<int> sendFailed(kClients, 0);
    std::vector<std::thread> senders;
    for (int c = 0; c < kClients; ++c) {
        senders.emplace_back([&, c] {
            for (const Write& w : writes[c]) {
                if (!w.bytes.empty() && !clients[c]->Send(w.bytes)) {
                    sendFailed[c] = 1;
                    return;
                }
                if (w.pauseAfter)
                    ::Sleep(100);
            }
        });
    }
    for (std::thread& t : senders)
        t.join();
    for (int c = 0; c < kClients; ++c)
        ASSERT_EQ(sendFailed[c], 0) << "client " << c;

    // Rows of lines wider than the view end in breaks of the view's own: it is read as sent.
    std::wstring view;
    EXPECT_TRUE(
        WaitUntil([&] { return (view = AsSent(View())).size() >= static_cast<size_t>(expectedLength); }, kLimitMs))
        << "the view stopped short";
    EXPECT_EQ(view.size(), static_cast<size_t>(expectedLength));
    const zelsend::BenchCheck check = zelsend::VerifyBenchText(ToUtf8(view), kClients, kFrames);
    EXPECT_TRUE(check.Ok()) << check.Summary();
    EXPECT_EQ(check.ignored, 1) << "only the started line is not a frame";
    for (int c = 0; c < kClients; ++c)
        EXPECT_EQ(check.framesSeen[c], kFrames) << "client " << c;
}

} // namespace
