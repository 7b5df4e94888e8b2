// zelsend.exe's bridges across a restart of the real console, as on a Windows machine: one
// follows a log file, one relays syslog over UDP and TCP. Every line made from the moment the
// console is closed until a new one listens shows in the new one, once and in order, or is
// counted in its client's dropped-lines line.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/temp_dir.h"
#include "testkit/test_client.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"
#include "testkit/zelsend_runner.h"

namespace {

constexpr DWORD kLimitMs = 60000;

// A loopback port nobody uses now, of the given kind.
uint16_t FreePort(int type)
{
    const UniqueSocket probe(::socket(AF_INET, type, 0));
    sockaddr_in at = Ipv4(INADDR_LOOPBACK, 0);
    int size = sizeof at;
    if (::bind(probe.Get(), reinterpret_cast<const sockaddr*>(&at), size) != 0 ||
        ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&at), &size) != 0)
        return 0;
    return ::ntohs(at.sin_port);
}

// The three sources, each line numbered: the followed file, and syslog messages to the relay
// over UDP and over TCP (LF-ended).
class LineMaker {
public:
    LineMaker(std::wstring log, uint16_t udpPort, uint16_t tcpPort)
        : m_log(std::move(log)), m_udp(::socket(AF_INET, SOCK_DGRAM, 0)), m_udpTo(Ipv4(INADDR_LOOPBACK, udpPort)),
          m_tcpPort(tcpPort)
    {
    }
    // Once the relay listens: its UDP port is bound before its TCP port listens.
    bool Connect()
    {
        return WaitUntil(
            [&] {
                m_tcp = std::make_unique<TestClient>(m_tcpPort);
                return m_tcp->Connect() == 0;
            },
            kLimitMs, [] { ::Sleep(100); });
    }
    bool Make(int n)
    {
        const std::string number = std::to_string(n);
        const std::string line = "file " + number + "\n", datagram = "<13>udp " + number;
        const UniqueHandle file(::CreateFileW(m_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        return file && ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &wrote, nullptr) &&
               ::sendto(m_udp.Get(), datagram.data(), static_cast<int>(datagram.size()), 0,
                        reinterpret_cast<const sockaddr*>(&m_udpTo), sizeof m_udpTo) > 0 &&
               m_tcp->Send("<13>tcp " + number + "\n");
    }

private:
    std::wstring m_log;
    UniqueSocket m_udp;
    sockaddr_in m_udpTo;
    uint16_t m_tcpPort;
    std::unique_ptr<TestClient> m_tcp;
};

const wchar_t* const kSources[] = {L"file ", L"<13>udp ", L"<13>tcp "};

// The numbers of one source's lines in the view, in the order shown.
std::vector<int> Numbers(const std::wstring& view, const std::wstring& prefix)
{
    std::vector<int> numbers;
    for (size_t at = 0; at < view.size();) {
        const size_t end = std::min(view.find(L"\r\n", at), view.size());
        if (view.compare(at, prefix.size(), prefix) == 0)
            numbers.push_back(std::stoi(view.substr(at + prefix.size(), end - at - prefix.size())));
        at = end + 2;
    }
    return numbers;
}

// Lines that the bridges' clients dropped and counted in the view.
long long Dropped(const std::wstring& view)
{
    const std::wstring mark = L"[zel::LogClient: ";
    long long dropped = 0;
    for (size_t at = view.find(mark); at != std::wstring::npos; at = view.find(mark, at + 1))
        dropped += std::wcstoll(view.c_str() + at + mark.size(), nullptr, 10);
    return dropped;
}

bool ShowsLine(const CConsoleProcess& console, int n)
{
    return console.WaitForText(
        IDC_LOG_VIEW,
        [n](const std::wstring& view) {
            for (const wchar_t* source : kSources) {
                if (view.find(source + std::to_wstring(n) + L"\r\n") == std::wstring::npos)
                    return false;
            }
            return true;
        },
        kLimitMs);
}

TEST(BridgesAcrossARestart, LinesMadeWhileTheConsoleIsGoneShowInTheNextOneInOrder)
{
    auto first = std::make_unique<CConsoleProcess>();
    ASSERT_TRUE(first->Start());
    ASSERT_TRUE(first->StartService());
    TempDir dir;
    const std::wstring log = dir.File(L"service.log");
    const uint16_t udpPort = FreePort(SOCK_DGRAM), tcpPort = FreePort(SOCK_STREAM);
    ASSERT_TRUE(UniqueHandle(::CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)));
    LineMaker lines(log, udpPort, tcpPort);
    RunningZelsend follow(L"--follow \"" + log + L"\" --from-start");
    RunningZelsend relay(L"--syslog-udp " + std::to_wstring(udpPort) + L" --syslog-tcp " + std::to_wstring(tcpPort));
    ASSERT_TRUE(lines.Connect()) << "the relay did not listen";
    int n = 0;
    for (; n <= 5; ++n)
        ASSERT_TRUE(lines.Make(n));
    ASSERT_TRUE(ShowsLine(*first, 5)) << ToUtf8(first->Text(IDC_LOG_VIEW));

    // The command that the close box, Escape and the system menu give, sent so that it has
    // been handled when the call returns: from here on the console is gone for its operator.
    DWORD_PTR ignored = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(first->Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0, SMTO_NORMAL,
                                      kLimitMs, &ignored));
    const int firstGone = n;
    // Lines go on every 20 ms while the console ends, while there is none, and while the next
    // one starts.
    const auto makeFor = [&](DWORD ms) {
        const Deadline until(ms);
        for (; until.Left() > 0; ++n) {
            if (!lines.Make(n))
                return false;
            ::Sleep(20);
        }
        return true;
    };
    const Deadline ending(kLimitMs);
    while (::WaitForSingleObject(first->Process(), 0) == WAIT_TIMEOUT) {
        ASSERT_GT(ending.Left(), 0u) << "the console did not end after its close command";
        ASSERT_TRUE(makeFor(20));
    }
    first.reset();
    ASSERT_TRUE(makeFor(1000));
    CConsoleProcess second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(makeFor(300));
    ASSERT_TRUE(second.StartService());
    ASSERT_TRUE(makeFor(300));
    const int last = n - 1;
    ASSERT_TRUE(ShowsLine(second, last)) << ToUtf8(second.Text(IDC_LOG_VIEW));
    EXPECT_TRUE(follow.RunsAfter(0));
    EXPECT_TRUE(relay.RunsAfter(0));

    const std::wstring view = second.Text(IDC_LOG_VIEW);
    long long missing = 0;
    for (const wchar_t* source : kSources) {
        const std::vector<int> shown = Numbers(view, source);
        ASSERT_FALSE(shown.empty());
        EXPECT_GE(shown.front(), firstGone) << ToUtf8(source) << "a line shown before the restart came again";
        for (size_t i = 1; i < shown.size(); ++i)
            EXPECT_GT(shown[i], shown[i - 1]) << ToUtf8(source) << "lines out of order or repeated";
        missing += (last - firstGone + 1) - static_cast<long long>(shown.size());
    }
    EXPECT_LE(missing, Dropped(view)) << "lines made while the console was gone were lost without a count; "
                                      << "first gone " << firstGone << ", last " << last << "\n"
                                      << ToUtf8(view.substr(0, 4000));
}

} // namespace
