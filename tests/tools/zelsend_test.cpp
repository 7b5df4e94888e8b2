#include "bench_payload.h"
#include "frame.h"
#include "options.h"
#include "text_decoder.h"
#include "zel_version.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#endif

using namespace zelsend;
using namespace std::string_literals;

namespace {

// --- Frames --------------------------------------------------------------------------------

struct FrameCase {
    std::string text;
    std::string lengthBytes;  // as they must appear on the wire
};

class ZelsendFrame : public testing::TestWithParam<FrameCase> {};

TEST_P(ZelsendFrame, LengthIsLittleEndianAndTextFollowsUnchanged) {
    const FrameCase& c = GetParam();
    const std::string frame = EncodeFrame(c.text);
    ASSERT_EQ(frame.size(), 4 + c.text.size());
    EXPECT_EQ(frame.substr(0, 4), c.lengthBytes);
    EXPECT_EQ(frame.substr(4), c.text);

    // The bench batches frames by appending them to what is already there.
    std::string batch = "pre";
    AppendFrame(batch, c.text);
    EXPECT_EQ(batch, "pre" + frame);
}

INSTANTIATE_TEST_SUITE_P(Texts, ZelsendFrame, testing::Values(
    FrameCase{"", "\0\0\0\0"s},
    FrameCase{"hello", "\x05\0\0\0"s},
    FrameCase{"\xE6\x97\xA5\xE5\xBF\x97 ok\r\n", "\x0B\0\0\0"s},  // UTF-8 counts bytes
    FrameCase{std::string(300, 'x'), "\x2C\x01\0\0"s},
    FrameCase{std::string(70000, 'y'), "\x70\x11\x01\0"s}));

struct LineCase {
    std::string line;
    bool crlf;
    std::string text;
};

class ZelsendLine : public testing::TestWithParam<LineCase> {};

TEST_P(ZelsendLine, LineBreakIsDroppedAndCrlfAddedOnRequest) {
    EXPECT_EQ(LineToText(GetParam().line, GetParam().crlf), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Lines, ZelsendLine, testing::Values(
    LineCase{"abc", false, "abc"}, LineCase{"abc\r", false, "abc"},
    LineCase{"abc\r\n", false, "abc"}, LineCase{"a\rb", false, "a\rb"},
    LineCase{"abc\r\r", false, "abc\r"}, LineCase{"", false, ""},
    LineCase{"abc\r", true, "abc\r\n"}, LineCase{"", true, "\r\n"}));

// --- Bench payloads --------------------------------------------------------------------------

class ZelsendPayload : public testing::TestWithParam<size_t> {};

TEST_P(ZelsendPayload, HasExactSizeHeaderAndLineEnd) {
    const size_t size = GetParam();
    const std::string p = MakeBenchPayload(7, 123, size);
    ASSERT_EQ(p.size(), size);
    EXPECT_EQ(p.substr(0, 15), "c007 s00000123 ");
    EXPECT_EQ(p.substr(15, 8), "n" + std::string(6 - std::to_string(size).size(), '0') +
                                   std::to_string(size) + " ");
    EXPECT_EQ(p.substr(size - 2), "\r\n");
    for (size_t i = 0; i + 2 < size; ++i)
        EXPECT_TRUE(p[i] >= ' ' && p[i] <= '~') << "byte " << i;
}

TEST_P(ZelsendPayload, AllFramesOfARunVerify) {
    std::string text;
    for (int64_t seq = 0; seq < 4; ++seq)
        for (int client = 0; client < 3; ++client)
            text += MakeBenchPayload(client, seq, GetParam());
    const BenchCheck check = VerifyBenchText(text, 3, 4);
    EXPECT_TRUE(check.Ok()) << check.Summary();
    EXPECT_EQ(check.framesSeen, (std::vector<int64_t>{4, 4, 4}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZelsendPayload,
                         testing::Values(kBenchMinSize, 26, 64, 1000, kBenchMaxSize));

// The console's tests and the README show this frame; it must not drift.
TEST(ZelsendPayloadRules, DocumentedExampleIsExact) {
    EXPECT_EQ(MakeBenchPayload(7, 123, 40), "c007 s00000123 n000040 nopqrstuvwxyzab\r\n");
}

TEST(ZelsendPayloadRules, OutOfRangeArgumentsAreRefused) {
    EXPECT_THROW(MakeBenchPayload(-1, 0, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(kBenchMaxClients, 0, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, -1, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, kBenchMaxFrames, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, 0, kBenchMinSize - 1), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, 0, kBenchMaxSize + 1), std::out_of_range);
    EXPECT_THROW(VerifyBenchText("", 0, 1), std::out_of_range);
}

// --- The verifier ----------------------------------------------------------------------------

std::string P(int client, int64_t seq) { return MakeBenchPayload(client, seq, 48); }

// Three clients of four frames each, round robin, as the console would show them.
std::string AllFrames() {
    std::string text;
    for (int64_t seq = 0; seq < 4; ++seq)
        for (int client = 0; client < 3; ++client)
            text += P(client, seq);
    return text;
}

std::string Without(std::string text, const std::string& part) {
    return text.erase(text.find(part), part.size());
}

struct VerifyCase {
    const char* name;
    std::function<std::string()> text;
    int64_t missing, duplicates, outOfOrder, corrupt, ignored;
};

class ZelsendVerify : public testing::TestWithParam<VerifyCase> {};

TEST_P(ZelsendVerify, CountsEachKindOfFault) {
    const VerifyCase& c = GetParam();
    const BenchCheck check = VerifyBenchText(c.text(), 3, 4);
    EXPECT_EQ(check.missing, c.missing) << check.Summary();
    EXPECT_EQ(check.duplicates, c.duplicates) << check.Summary();
    EXPECT_EQ(check.outOfOrder, c.outOfOrder) << check.Summary();
    EXPECT_EQ(check.corrupt, c.corrupt) << check.Summary();
    EXPECT_EQ(check.ignored, c.ignored) << check.Summary();
    const bool faultless = c.missing + c.duplicates + c.outOfOrder + c.corrupt == 0;
    EXPECT_EQ(check.Ok(), faultless);
    EXPECT_EQ(check.notes.empty(), faultless);
}

std::string Corrupt(size_t at, char to) {
    std::string text = AllFrames();
    text[at] = to;
    return text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ZelsendVerify, testing::Values(
    VerifyCase{"RoundRobin", AllFrames, 0, 0, 0, 0, 0},
    VerifyCase{"ClientAfterClient", [] {
        std::string t;
        for (int client : {2, 0, 1})
            for (int64_t seq = 0; seq < 4; ++seq) t += P(client, seq);
        return t;
    }, 0, 0, 0, 0, 0},
    VerifyCase{"StatusLinesBetween", [] {
        return "[12:00:01] 127.0.0.1:50000 connected\r\n\r\nc00x s1 not ours\r\n" + P(0, 0) +
               "c001 s0000000 short id\r\n" + Without(AllFrames(), P(0, 0)) + "closed";
    }, 0, 0, 0, 0, 5},
    VerifyCase{"Empty", [] { return std::string(); }, 12, 0, 0, 0, 0},
    VerifyCase{"OneMissing", [] { return Without(AllFrames(), P(1, 2)); }, 1, 0, 0, 0, 0},
    VerifyCase{"Duplicate", [] { return AllFrames() + P(2, 3); }, 0, 1, 0, 0, 0},
    VerifyCase{"Swapped", [] {
        std::string t = AllFrames();
        const size_t first = t.find(P(0, 0)), second = t.find(P(0, 1));
        return t.replace(first, 48, P(0, 1)).replace(second, 48, P(0, 0));
    }, 0, 0, 1, 0, 0},
    VerifyCase{"OneClientLate", [] {
        return Without(AllFrames(), P(1, 0)) + P(1, 0);
    }, 0, 0, 1, 0, 0},
    VerifyCase{"FillerByteChanged", [] { return Corrupt(48 * 5 + 30, '#'); }, 1, 0, 0, 1, 0},
    VerifyCase{"HeaderSizeChanged", [] { return Corrupt(48 * 5 + 21, '9'); }, 1, 0, 0, 1, 0},
    VerifyCase{"CrChanged", [] { return Corrupt(48 * 5 + 46, 'x'); }, 1, 0, 0, 1, 0},
    VerifyCase{"LineEndLost", [] { return Corrupt(48 * 5 + 47, 'x'); }, 2, 0, 0, 1, 0},
    VerifyCase{"CutIntoNextFrame", [] {
        const std::string cut = P(1, 1);
        std::string t = AllFrames();
        return t.erase(t.find(cut) + 30, 18);
    }, 2, 0, 0, 1, 0},
    VerifyCase{"LastFrameCut", [] {
        std::string t = AllFrames();
        t.resize(t.size() - 1);
        return t;
    }, 1, 0, 0, 1, 0},
    VerifyCase{"ForeignClient", [] { return AllFrames() + MakeBenchPayload(3, 0, 48); },
               0, 0, 0, 1, 0},
    VerifyCase{"FrameBeyondCount", [] { return AllFrames() + P(0, 4); }, 0, 0, 0, 1, 0},
    VerifyCase{"FillerOfAnotherFrame", [] {
        std::string t = AllFrames();
        const std::string a = P(0, 0), b = P(0, 1);
        return t.replace(t.find(a), 48, a.substr(0, 23) + b.substr(23));
    }, 1, 0, 0, 1, 0}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return info.param.name; });

// --- Command line ----------------------------------------------------------------------------

struct OptionsCase {
    std::vector<std::string> args;
    Mode mode;
    std::string host;
    int port;
    bool crlf;
    std::vector<std::string> messages;
    int benchClients = 0;
    int64_t benchFrames = 0;
    size_t benchSize = 0;
    bool utf8 = false;
    unsigned inputCodePage = 0;
};

class ZelsendOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(ZelsendOptions, AreReadAsGiven) {
    const OptionsCase& c = GetParam();
    Options o;
    std::string error;
    ASSERT_TRUE(ParseOptions(c.args, o, error)) << error;
    EXPECT_EQ(o.mode, c.mode);
    EXPECT_EQ(o.host, c.host);
    EXPECT_EQ(o.port, c.port);
    EXPECT_EQ(o.crlf, c.crlf);
    EXPECT_EQ(o.messages, c.messages);
    EXPECT_EQ(o.benchClients, c.benchClients);
    EXPECT_EQ(o.benchFrames, c.benchFrames);
    EXPECT_EQ(o.benchSize, c.benchSize);
    EXPECT_EQ(o.utf8, c.utf8);
    EXPECT_EQ(o.inputCodePage, c.inputCodePage);
}

INSTANTIATE_TEST_SUITE_P(Valid, ZelsendOptions, testing::Values(
    OptionsCase{{}, Mode::Lines, "127.0.0.1", 11925, false, {}},
    OptionsCase{{"--crlf"}, Mode::Lines, "127.0.0.1", 11925, true, {}},
    OptionsCase{{"a", "--port", "9", "b c"}, Mode::Messages, "127.0.0.1", 9, false, {"a", "b c"}},
    OptionsCase{{"--host", "::1", "--port", "65535", "--raw"}, Mode::Raw, "::1", 65535, false, {}},
    OptionsCase{{"--", "--crlf", "-"}, Mode::Messages, "127.0.0.1", 11925, false, {"--crlf", "-"}},
    OptionsCase{{"x", "--help"}, Mode::Help, "127.0.0.1", 11925, false, {"x"}},
    OptionsCase{{"--bench", "4", "1000", "100", "--port", "5"}, Mode::Bench, "127.0.0.1", 5,
                false, {}, 4, 1000, 100},
    OptionsCase{{"--utf8", "--crlf"}, Mode::Lines, "127.0.0.1", 11925, true, {}, 0, 0, 0, true},
    OptionsCase{{"--input-codepage", "936"}, Mode::Lines, "127.0.0.1", 11925, false, {}, 0, 0, 0,
                false, 936},
    OptionsCase{{"--crlf", "--version", "x"}, Mode::Version, "127.0.0.1", 11925, true, {}}));

struct BadOptionsCase {
    std::vector<std::string> args;
    std::string error;  // part of the message the user sees
};

class ZelsendOptionsBad : public testing::TestWithParam<BadOptionsCase> {};

TEST_P(ZelsendOptionsBad, AreRefusedWithAReason) {
    Options o;
    std::string error;
    EXPECT_FALSE(ParseOptions(GetParam().args, o, error));
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Invalid, ZelsendOptionsBad, testing::Values(
    BadOptionsCase{{"--port"}, "--port"}, BadOptionsCase{{"--port", "0"}, "--port"},
    BadOptionsCase{{"--port", "65536"}, "--port"}, BadOptionsCase{{"--port", "12x"}, "--port"},
    BadOptionsCase{{"--port", "-5"}, "--port"}, BadOptionsCase{{"--host"}, "--host"},
    BadOptionsCase{{"--verbose"}, "unknown option --verbose"},
    BadOptionsCase{{"--bench", "2", "10"}, "three numbers"},
    BadOptionsCase{{"--bench", "0", "10", "40"}, "clients"},
    BadOptionsCase{{"--bench", "1001", "10", "40"}, "clients"},
    BadOptionsCase{{"--bench", "2", "0", "40"}, "frames"},
    BadOptionsCase{{"--bench", "2", "10", "24"}, "size"},
    BadOptionsCase{{"--bench", "2", "10", "40", "msg"}, "no messages"},
    BadOptionsCase{{"--raw", "msg"}, "no messages"},
    BadOptionsCase{{"--raw", "--crlf"}, "--crlf"},
    BadOptionsCase{{"--raw", "--bench", "1", "1", "40"}, "cannot be combined"},
    BadOptionsCase{{"--input-codepage"}, "code page number"},
    BadOptionsCase{{"--input-codepage", "0"}, "code page number"},
    BadOptionsCase{{"--input-codepage", "65536"}, "code page number"},
    BadOptionsCase{{"--utf8", "--input-codepage", "936"}, "cannot be combined"},
    BadOptionsCase{{"--utf8", "--raw"}, "standard input only"},
    BadOptionsCase{{"--input-codepage", "936", "msg"}, "standard input only"},
    BadOptionsCase{{"--utf8", "--bench", "1", "1", "40"}, "standard input only"}));

// --help is the only manual a Windows user has at hand: it must name what they trip over.
TEST(ZelsendOptionsHelp, NamesTheLimitTheExitCodesAndTheConversion) {
    const std::string usage = kUsage;
    for (const char* part : {"--version", "--utf8", "--input-codepage", "16777216 bytes (16 MiB)",
                             "Exit codes: 0", "2 bad arguments, or a frame over 16 MiB",
                             "ANSI code page (936", "console's code page"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    EXPECT_EQ(std::string(kVersionLine), "zelsend " ZEL_VERSION_TEXT "\n");
}

// --- Text conversion -------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    unsigned codePage;
    std::string bytes;
    std::string utf8;
};

class ZelsendDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(ZelsendDecode, LinesBecomeTheSameTextInUtf8) {
    const DecodeCase& c = GetParam();
    TextDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(c.codePage, error)) << error;
    EXPECT_EQ(decoder.ToUtf8(c.bytes), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(CodePages, ZelsendDecode, testing::Values(
    DecodeCase{"Chinese936", 936, "\xC8\xD5\xD6\xBE ok\r", "\xE6\x97\xA5\xE5\xBF\x97 ok\r"},
    DecodeCase{"Western1252", 1252, "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
    DecodeCase{"Utf8Unchanged", 65001, "\xE6\x97\xA5\xFF", "\xE6\x97\xA5\xFF"},
    DecodeCase{"CutCharacterShowsAsQuestionMark", 936, "ab\xC8", "ab?"},
    DecodeCase{"Empty", 936, "", ""}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(ZelsendDecodeRules, UnknownCodePageIsRefusedAndDefaultKeepsBytes) {
    TextDecoder decoder;
    std::string error;
    EXPECT_FALSE(decoder.Open(12345, error));
    EXPECT_NE(error.find("12345"), std::string::npos) << error;
    EXPECT_EQ(decoder.ToUtf8("\xC8\xD5"), "\xC8\xD5");
}

#ifndef _WIN32
// --- The zelsend program, against a listener on the loopback address -------------------------

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kTimeLimit{20};  // so a hung zelsend fails the test, not CI

int MillisLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool WaitReadable(int fd, Clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, MillisLeft(deadline)) == 1;
}

// A TCP socket on 127.0.0.1 with a port of the system's choosing; listens only if asked, so
// that without listening it stands for a console that is not running.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
            (listening && listen(fd_, 16) != 0) ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            ADD_FAILURE() << "cannot set up a loopback socket";
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPort() { close(fd_); }
    std::string Port() const { return std::to_string(port_); }

    // Accepts `count` connections one after another and reads each to its end.
    std::vector<std::string> Receive(int count) {
        const auto deadline = Clock::now() + kTimeLimit;
        std::vector<std::string> streams;
        for (int i = 0; i < count && WaitReadable(fd_, deadline); ++i) {
            const int c = accept(fd_, nullptr, nullptr);
            std::string bytes;
            char buffer[4096];
            ssize_t n = 0;
            while (WaitReadable(c, deadline) && (n = recv(c, buffer, sizeof buffer, 0)) > 0)
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

struct RunResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

RunResult RunZelsend(const std::vector<std::string>& args, const std::string& input) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[0]), close(in[1]), close(out[0]), close(out[1]);
        std::vector<char*> argv{const_cast<char*>(ZELSEND_EXE)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(ZELSEND_EXE, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    signal(SIGPIPE, SIG_IGN);  // zelsend may end without reading its input
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0)
        ADD_FAILURE() << "cannot write zelsend's input";
    close(in[1]);

    RunResult result;
    const auto deadline = Clock::now() + kTimeLimit;
    char buffer[4096];
    ssize_t n = 0;
    while (WaitReadable(out[0], deadline) && (n = read(out[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    if (n != 0)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "PORT" stands for the listener's port, "CLOSED" for a dead one
    std::string input;
    int exitCode;
    std::vector<std::string> received;  // per connection, what the listener must get
    std::string output;                 // part of what zelsend must print
};

class ZelsendCli : public testing::TestWithParam<CliCase> {};

TEST_P(ZelsendCli, SendsWhatWasAskedAndReportsFailures) {
    const CliCase& c = GetParam();
    LoopbackPort listener(true), closed(false);
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(a == "PORT" ? listener.Port() : a == "CLOSED" ? closed.Port() : a);

    const int connections = static_cast<int>(c.received.size());
    auto received = std::async(std::launch::async, [&] { return listener.Receive(connections); });
    const RunResult run = RunZelsend(args, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
    EXPECT_EQ(received.get(), c.received);
}

std::string F(const std::string& text) { return EncodeFrame(text); }

INSTANTIATE_TEST_SUITE_P(Runs, ZelsendCli, testing::Values(
    CliCase{"Arguments", {"--port", "PORT", "--crlf", "hello", "\xE6\x97\xA5\xE5\xBF\x97"}, "", 0,
            {F("hello\r\n") + F("\xE6\x97\xA5\xE5\xBF\x97\r\n")}, ""},
    CliCase{"StdinLines", {"--port", "PORT"}, "one\r\ntwo\n\nlast", 0,
            {F("one") + F("two") + F("") + F("last")}, ""},
    CliCase{"StdinLinesWithCrlf", {"--port", "PORT", "--crlf"}, "a\nb\n", 0,
            {F("a\r\n") + F("b\r\n")}, ""},
    CliCase{"RawStdin", {"--port", "PORT", "--raw"}, "\xFF\xFF\xFF\x7Fnot a frame\n", 0,
            {"\xFF\xFF\xFF\x7Fnot a frame\n"}, ""},
    CliCase{"HostName", {"--host", "localhost", "--port", "PORT", "x"}, "", 0, {F("x")}, ""},
    CliCase{"Refused", {"--port", "CLOSED", "x"}, "", 1, {}, "connection refused"},
    CliCase{"BadPort", {"--port", "0", "x"}, "", 2, {}, "Try 'zelsend --help'"},
    CliCase{"Help", {"--help"}, "", 0, {}, "usage: zelsend"},
    CliCase{"Version", {"--version"}, "", 0, {}, "zelsend " ZEL_VERSION_TEXT "\n"},
    CliCase{"CodePage936Lines", {"--port", "PORT", "--input-codepage", "936"}, "\xC8\xD5\xD6\xBE\n", 0,
            {F("\xE6\x97\xA5\xE5\xBF\x97")}, ""},
    CliCase{"LineAtTheLimit", {"--port", "PORT", "--crlf"}, std::string(16 * 1024 * 1024 - 2, 'x'), 0,
            {F(std::string(16 * 1024 * 1024 - 2, 'x') + "\r\n")}, ""},
    // The lines before stay sent; the one past the limit and all after it are not.
    CliCase{"LinePastTheLimit", {"--port", "PORT", "--crlf"},
            "first\n" + std::string(16 * 1024 * 1024 - 1, 'x') + "\nlast\n", 2, {F("first\r\n")},
            "line 2 is 16777217 bytes"},
    CliCase{"UnbrokenInputPastAnyLine", {"--port", "PORT"}, std::string(64 * 1024 * 1024 + 70000, 'x'),
            2, {""}, "line 1 is longer than"}),
    [](const testing::TestParamInfo<CliCase>& info) { return info.param.name; });

std::vector<std::string> DecodeFrames(const std::string& bytes) {
    std::vector<std::string> frames;
    for (size_t at = 0; at + 4 <= bytes.size();) {
        const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])); };
        const size_t length = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
        frames.push_back(bytes.substr(at + 4, length));
        at += 4 + length;
    }
    return frames;
}

TEST(ZelsendBench, EveryClientsFramesArriveAndVerify) {
    LoopbackPort listener(true);
    auto received = std::async(std::launch::async, [&] { return listener.Receive(3); });
    const RunResult run = RunZelsend({"--port", listener.Port(), "--bench", "3", "50", "60"}, "");
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

}  // namespace
