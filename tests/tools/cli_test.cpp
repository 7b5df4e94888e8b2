// The real zelsend program against a listener of the test's own on the loopback address
// (POSIX only).
#include "bench_mode/bench_check.h"
#include "zel_log_client.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

#include "testkit/zelsend_posix.h"
#endif

using namespace zelsend;

namespace {
#ifndef _WIN32
// --- The zelsend program, against a listener on the loopback address -------------------------

using testkit::Clock;
using testkit::RunZelsend;
using testkit::ZelsendRun;
constexpr std::chrono::seconds kTimeLimit{20}; // so a hung zelsend fails the test, not CI

// A TCP socket on 127.0.0.1 with a port of the system's choosing; listens only if asked, so
// that without listening it stands for a console that is not running.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), size) != 0 || (listening && listen(fd_, 16) != 0) ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            ADD_FAILURE() << "cannot set up a loopback socket";
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPort() { close(fd_); }
    std::string Port() const { return std::to_string(port_); }

    // Accepts `count` connections one after another and reads each to its end.
    std::vector<std::string> Receive(int count)
    {
        const auto deadline = Clock::now() + kTimeLimit;
        std::vector<std::string> streams;
        for (int i = 0; i < count && testkit::WaitReadable(fd_, deadline); ++i) {
            const int c = accept(fd_, nullptr, nullptr);
            std::string bytes;
            char buffer[4096];
            ssize_t n = 0;
            while (testkit::WaitReadable(c, deadline) && (n = recv(c, buffer, sizeof buffer, 0)) > 0)
                bytes.append(buffer, static_cast<size_t>(n));
            close(c);
            streams.push_back(bytes);
        }
        return streams;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A case's text, made only when the case runs, so that the table's largest texts (up to 64 MiB)
// are not all held at once.
class Text {
public:
    Text(const char* text) : m_make([s = std::string(text)] { return s; }) {}
    Text(std::string text) : m_make([s = std::move(text)] { return s; }) {}
    explicit Text(std::function<std::string()> make) : m_make(std::move(make)) {}
    std::string operator()() const { return m_make(); }

private:
    std::function<std::string()> m_make;
};

struct CliCase {
    const char* name;
    // "PORT" stands for the listener's port, "CLOSED" for a dead one, "HELD" for one that never
    // reads (a console busy or hung)
    std::vector<std::string> args;
    Text input;
    int exitCode;
    std::vector<Text> received; // per connection, what the listener must get
    std::string output;         // part of what zelsend must print
};

std::string F(const std::string& text)
{
    std::string frame;
    zel::detail::AppendFrame(frame, text);
    return frame;
}

TEST(ZelsendCli, SendsWhatWasAskedAndReportsFailures)
{
    const CliCase cases[] = {
        {"Arguments",
         {"--port", "PORT", "--crlf", "hello", "\xE6\x97\xA5\xE5\xBF\x97"},
         "",
         0,
         {F("hello\r\n") + F("\xE6\x97\xA5\xE5\xBF\x97\r\n")},
         ""},
        {"StdinLines", {"--port", "PORT"}, "one\r\ntwo\n\nlast", 0, {F("one") + F("two") + F("") + F("last")}, ""},
        {"StdinLinesWithCrlf", {"--port", "PORT", "--crlf"}, "a\nb\n", 0, {F("a\r\n") + F("b\r\n")}, ""},
        {"StdinLinesFiltered",
         {"--port", "PORT", "--crlf", "--include", "keep", "--exclude", "not"},
         "keep 1\ndrop\nKEEP not\r\nKeep 2",
         0,
         {F("keep 1\r\n") + F("Keep 2\r\n")},
         ""},
        {"BadPatternIsAUsageError", {"--port", "PORT", "--include", "(x"}, "a\n", 2, {}, "bad pattern \"(x\""},
        {"RawStdin",
         {"--port", "PORT", "--raw"},
         "\xFF\xFF\xFF\x7Fnot a frame\n",
         0,
         {"\xFF\xFF\xFF\x7Fnot a frame\n"},
         ""},
        {"HostName", {"--host", "localhost", "--port", "PORT", "x"}, "", 0, {F("x")}, ""},
        {"Refused", {"--port", "CLOSED", "x"}, "", 1, {}, "connection refused"},
        // Sent, but the console never said it read it: zelsend cannot count it as delivered.
        {"NeverRead",
         {"--port", "HELD", "--stop-wait", "200", "x"},
         "",
         1,
         {},
         "the console had not read the last lines within --stop-wait; they may be missing"},
        {"BadPort", {"--port", "0", "x"}, "", 2, {}, "Try 'zelsend --help'"},
        {"Help", {"--help"}, "", 0, {}, "usage: zelsend"},
        {"Version", {"--version"}, "", 0, {}, "zelsend 1.0.0.1\n"},
        {"CodePage936Lines",
         {"--port", "PORT", "--input-codepage", "936"},
         "\xC8\xD5\xD6\xBE\n",
         0,
         {F("\xE6\x97\xA5\xE5\xBF\x97")},
         ""},
        {"LineAtTheLimit",
         {"--port", "PORT", "--crlf"},
         Text([] { return std::string(16 * 1024 * 1024 - 2, 'x'); }),
         0,
         {Text([] { return F(std::string(16 * 1024 * 1024 - 2, 'x') + "\r\n"); })},
         ""},
        // The lines before stay sent; the one past the limit and all after it are not.
        {"LinePastTheLimit",
         {"--port", "PORT", "--crlf"},
         Text([] { return "first\n" + std::string(16 * 1024 * 1024 - 1, 'x') + "\nlast\n"; }),
         2,
         {F("first\r\n")},
         "line 2 is 16777217 bytes"},
        {"UnbrokenInputPastAnyLine",
         {"--port", "PORT"},
         Text([] { return std::string(64 * 1024 * 1024 + 70000, 'x'); }),
         2,
         {""},
         "line 1 is longer than"},
    };
    ForEachCase(cases, [](const CliCase& c) {
        LoopbackPort listener(true), closed(false), held(true);
        std::vector<std::string> args;
        for (const std::string& a : c.args)
            args.push_back(a == "PORT"     ? listener.Port()
                           : a == "CLOSED" ? closed.Port()
                           : a == "HELD"   ? held.Port()
                                           : a);

        const int connections = static_cast<int>(c.received.size());
        auto received = std::async(std::launch::async, [&] { return listener.Receive(connections); });
        const ZelsendRun run = RunZelsend(args, c.input(), kTimeLimit);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
        std::vector<std::string> expected;
        for (const Text& text : c.received)
            expected.push_back(text());
        EXPECT_EQ(received.get(), expected);
    });
}

std::vector<std::string> DecodeFrames(const std::string& bytes)
{
    std::vector<std::string> frames;
    for (size_t at = 0; at + 4 <= bytes.size();) {
        const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])); };
        const size_t length = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
        frames.push_back(bytes.substr(at + 4, length));
        at += 4 + length;
    }
    return frames;
}

TEST(ZelsendBench, EveryClientsFramesArriveAndVerify)
{
    LoopbackPort listener(true);
    auto received = std::async(std::launch::async, [&] { return listener.Receive(3); });
    const ZelsendRun run = RunZelsend({"--port", listener.Port(), "--bench", "3", "50", "60"}, "");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("150 frames, 9000 bytes"), std::string::npos) << run.output;

    // Show the frames interleaved, as the console would when the clients take turns.
    std::vector<std::vector<std::string>> perClient;
    for (const std::string& stream : received.get())
        perClient.push_back(DecodeFrames(stream));
    ASSERT_EQ(perClient.size(), 3u);
    std::string text;
    for (size_t i = 0; i < 50; ++i)
        for (const auto& frames : perClient)
            text += i < frames.size() ? frames[i] : "";
    const BenchCheck check = VerifyBenchText(text, 3, 50);
    EXPECT_TRUE(check.Ok()) << check.Summary();
}
#endif

} // namespace
