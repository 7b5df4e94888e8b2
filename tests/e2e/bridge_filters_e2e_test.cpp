// zelsend.exe's filters and times under Wine, into the real console: debug output chosen by
// --process and stamped by --time, a followed file filtered by --include and --exclude, and the
// syslog relay, which must start under Wine, filter, and keep a message's line breaks as lines.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>
#include <windows.h>

#include <cwctype>
#include <string>

#include "res/resource.h"
#include "testkit/child_process.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/debug_writer.h"
#include "testkit/temp_dir.h"
#include "testkit/test_client.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"
#include "testkit/zelsend_runner.h"

namespace {

// The view after the service's first line, each line's "hh:mm:ss.mmm " taken off; `stamped`
// says whether every line had one.
std::wstring WithoutStamps(const std::wstring& view, bool& stamped)
{
    stamped = true;
    std::wstring rest =
        view.compare(0, std::wcslen(kStarted), kStarted) == 0 ? view.substr(std::wcslen(kStarted)) : view;
    std::wstring out;
    for (size_t begin = 0; begin < rest.size();) {
        size_t end = rest.find(L"\r\n", begin);
        end = end == std::wstring::npos ? rest.size() : end;
        std::wstring line = rest.substr(begin, end - begin);
        const bool digits = line.size() >= 13 && std::iswdigit(line[0]) && std::iswdigit(line[1]) &&
                            std::iswdigit(line[3]) && std::iswdigit(line[4]) && std::iswdigit(line[6]) &&
                            std::iswdigit(line[7]) && std::iswdigit(line[9]) && std::iswdigit(line[11]);
        if (digits && line[2] == L':' && line[5] == L':' && line[8] == L'.' && line[12] == L' ')
            line.erase(0, 13);
        else
            stamped = false;
        out += line + L"\r\n";
        begin = end + 2;
    }
    return out;
}

class ConsoleE2E : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(console.StartWithService(), nullptr); }
    CConsoleProcess console;
};

// Only debug_writer.exe's strings show (named without ".exe" and in another case); the test's
// own, written first, do not. Each line starts with the time, then the --pid prefix.
TEST_F(ConsoleE2E, DebugOutputOfTheChosenProcessWithTimes)
{
    RunningZelsend zelsend(L"--debug-output --pid --time --process DEBUG_WRITER");
    ASSERT_TRUE(zelsend.Started());
    ASSERT_TRUE(ReaderListens());
    ::OutputDebugStringA("from the test itself: left out\n");
    ::OutputDebugStringW(L"from the test itself, wide: left out\n");

    constexpr int kStrings = 40;
    const ChildRun writer = RunToEnd(ZEL_DEBUG_WRITER_EXE, std::to_wstring(kStrings));
    ASSERT_EQ(writer.exitCode, 0u) << writer.output;
    unsigned long pid = 0;
    ASSERT_EQ(std::sscanf(writer.output.c_str(), "pid %lu", &pid), 1) << writer.output;
    std::wstring expected;
    for (int i = 0; i < kStrings; ++i)
        expected += L"[" + std::to_wstring(pid) + L" debug_writer.exe] " + DebugWriterText(i) + L"\r\n";
    bool stamped = false;
    EXPECT_TRUE(console.WaitForText(
        IDC_LOG_VIEW, [&](const std::wstring& t) { return WithoutStamps(t, stamped) == expected && stamped; }, 60000))
        << ToUtf8(console.Text(IDC_LOG_VIEW).substr(0, 3000));
}

// Lines holding an --include pattern and no --exclude pattern, case aside; the last line is
// kept, so a left-out line before it would show in between.
TEST_F(ConsoleE2E, FollowedFileKeepsTheIncludedLinesOnly)
{
    TempDir dir;
    const std::wstring log = dir.File(L"service.log");
    ASSERT_TRUE(WriteLog(log,
                         "ERROR disk\nwarn: slow\nok\nerror but ignored\nnot warn first\n"
                         "\xE6\x97\xA5\xE5\xBF\x97 error\r\nerror end\n",
                         true));
    RunningZelsend zelsend(L"--follow \"" + log +
                           L"\" --from-start --include error --include \"^warn\" --exclude IGNORED");
    ASSERT_TRUE(zelsend.Started());
    EXPECT_TRUE(
        ViewShows(console, std::wstring(kStarted) + L"ERROR disk\r\nwarn: slow\r\n日志 error\r\nerror end\r\n", 30000));
    EXPECT_TRUE(zelsend.RunsAfter(0));
}

// A loopback port nothing holds now.
unsigned short FreePort(int type)
{
    const UniqueSocket s(::socket(AF_INET, type, 0));
    sockaddr_in a = Ipv4(INADDR_LOOPBACK, 0);
    int size = sizeof a;
    if (::bind(s.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s.Get(), reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return 0;
    return ntohs(a.sin_port);
}

UniqueSocket ConnectTo(unsigned short port)
{
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in a = Ipv4(INADDR_LOOPBACK, port);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        s.Reset();
    return s;
}

// zelsend.exe's relay, which could not start under Wine before it started Winsock itself. A
// message's inner line breaks (LF, CR LF, CR) show as lines; the filters take it whole.
TEST_F(ConsoleE2E, RelayKeepsFilteredMessagesWithTheirLineBreaks)
{
    const unsigned short port = FreePort(SOCK_STREAM);
    ASSERT_NE(port, 0);
    RunningZelsend relay(L"--syslog-tcp " + std::to_wstring(port) + L" --include \"error|warn\" --exclude noise");
    ASSERT_TRUE(relay.Started());
    UniqueSocket sender;
    ASSERT_TRUE(WaitUntil([&] { return (sender = ConnectTo(port)) || !relay.RunsAfter(0); }, 30000));
    ASSERT_TRUE(sender) << "the relay ended without listening";
    std::string stream;
    for (const std::string message :
         {"<11>disk error", "<14>fine", "<12>noise warn", "<11>error on\nthree\r\nlines\rhere", "<12>WARN end"})
        stream += std::to_string(message.size()) + " " + message;
    ASSERT_EQ(::send(sender.Get(), stream.data(), static_cast<int>(stream.size()), 0), static_cast<int>(stream.size()));
    sender.Reset();
    EXPECT_TRUE(ViewShows(console,
                          std::wstring(kStarted) +
                              L"<11>disk error\r\n<11>error on\r\nthree\r\nlines\r\nhere\r\n<12>WARN end\r\n",
                          30000));
}

// What zelsend.exe refuses says why, in words: a pattern that is not a regex (exit 2), and a
// relay port another program holds (exit 1, Winsock's code in words).
TEST(BridgeRefusalsE2E, SayWhyInWords)
{
    const ChildRun pattern = RunToEnd(ZELSEND_EXE, L"--follow x.log --include \"(unclosed\"");
    EXPECT_EQ(pattern.exitCode, 2u) << pattern.output;
    EXPECT_NE(pattern.output.find("--include: bad pattern \"(unclosed\""), std::string::npos) << pattern.output;

    const UniqueSocket holder(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in a = Ipv4(INADDR_LOOPBACK, 0);
    int size = sizeof a;
    ASSERT_EQ(::bind(holder.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::getsockname(holder.Get(), reinterpret_cast<sockaddr*>(&a), &size), 0);
    const std::string port = std::to_string(ntohs(a.sin_port));
    const ChildRun relay = RunToEnd(ZELSEND_EXE, L"--port 1 --syslog-udp " + Widen(port));
    EXPECT_EQ(relay.exitCode, 1u) << relay.output;
    EXPECT_NE(
        relay.output.find("cannot listen for syslog on UDP 127.0.0.1:" + port + ": address already in use (10048)"),
        std::string::npos)
        << relay.output;
}

} // namespace
