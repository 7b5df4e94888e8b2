// zelsend's command line and its conversion of input lines to UTF-8 (and, on Windows, of UTF-16).
#include "common/options.h"
#include "decoder_checks.h"
#include "parse_checks.h"
#include "port/text_decoder.h"
#include "testkit/case_table.h"

#ifdef _WIN32
#include "port/handle_win.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;

namespace {
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
    std::string followPath = "";
    bool fromStart = false;
    bool pid = false;
};

TEST(ZelsendOptions, AreReadAsGiven)
{
    const OptionsCase cases[] = {
        {{}, Mode::Lines, "127.0.0.1", 11925, false, {}},
        {{"--crlf"}, Mode::Lines, "127.0.0.1", 11925, true, {}},
        {{"a", "--port", "9", "b c"}, Mode::Messages, "127.0.0.1", 9, false, {"a", "b c"}},
        {{"--host", "::1", "--port", "65535", "--raw"}, Mode::Raw, "::1", 65535, false, {}},
        {{"--", "--crlf", "-"}, Mode::Messages, "127.0.0.1", 11925, false, {"--crlf", "-"}},
        {{"x", "--help"}, Mode::Help, "127.0.0.1", 11925, false, {"x"}},
        {{"--bench", "4", "1000", "100", "--port", "5"}, Mode::Bench, "127.0.0.1", 5, false, {}, 4, 1000, 100},
        {{"--utf8", "--crlf"}, Mode::Lines, "127.0.0.1", 11925, true, {}, 0, 0, 0, true},
        {{"--input-codepage", "936"}, Mode::Lines, "127.0.0.1", 11925, false, {}, 0, 0, 0, false, 936},
        {{"--crlf", "--version", "x"}, Mode::Version, "127.0.0.1", 11925, true, {}},
        {{"--follow", "app.log"}, Mode::Follow, "127.0.0.1", 11925, false, {}, 0, 0, 0, false, 0, "app.log"},
        {{"--from-start", "--follow", "C:\\logs\\a b.log", "--input-codepage", "936", "--port", "7"},
         Mode::Follow,
         "127.0.0.1",
         7,
         false,
         {},
         0,
         0,
         0,
         false,
         936,
         "C:\\logs\\a b.log",
         true},
        {{"--debug-output"}, Mode::DebugOutput, "127.0.0.1", 11925, false, {}},
        {{"--pid", "--host", "h", "--debug-output"},
         Mode::DebugOutput,
         "h",
         11925,
         false,
         {},
         0,
         0,
         0,
         false,
         0,
         "",
         false,
         true},
    };
    ForEachCase(cases, [](const OptionsCase& c) {
        Options o;
        ASSERT_TRUE(Parses(c.args, o));
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
        EXPECT_EQ(o.followPath, c.followPath);
        EXPECT_EQ(o.fromStart, c.fromStart);
        EXPECT_EQ(o.pid, c.pid);
    });
}

TEST(ZelsendOptionsBad, AreRefusedWithAReason)
{
    const Refusal cases[] = {
        {{"--port"}, "--port"},
        {{"--port", "0"}, "--port"},
        {{"--port", "65536"}, "--port"},
        {{"--port", "12x"}, "--port"},
        {{"--port", "-5"}, "--port"},
        {{"--host"}, "--host"},
        {{"--verbose"}, "unknown option --verbose"},
        {{"--bench", "2", "10"}, "three numbers"},
        {{"--bench", "0", "10", "40"}, "clients"},
        {{"--bench", "1001", "10", "40"}, "clients"},
        {{"--bench", "2", "0", "40"}, "frames"},
        {{"--bench", "2", "10", "24"}, "size"},
        {{"--bench", "2", "10", "40", "msg"}, "no messages"},
        {{"--raw", "msg"}, "no messages"},
        {{"--raw", "--crlf"}, "--crlf"},
        {{"--raw", "--bench", "1", "1", "40"}, "cannot be combined"},
        {{"--input-codepage"}, "code page number"},
        {{"--input-codepage", "0"}, "code page number"},
        {{"--input-codepage", "65536"}, "code page number"},
        {{"--utf8", "--input-codepage", "936"}, "cannot be combined"},
        {{"--utf8", "--raw"}, "standard input only"},
        {{"--input-codepage", "936", "msg"}, "applies to the lines of standard input"},
        {{"--utf8", "--bench", "1", "1", "40"}, "standard input only"},
        {{"--follow"}, "--follow needs the path"},
        {{"--follow", "a", "--debug-output"}, "cannot be combined"},
        {{"--follow", "a", "--raw"}, "cannot be combined with --raw"},
        {{"--debug-output", "--bench", "1", "1", "40"}, "cannot be combined with --bench"},
        {{"--follow", "a", "msg"}, "takes no messages"},
        {{"--debug-output", "--utf8"}, "cannot be combined with --utf8"},
        {{"--debug-output", "--input-codepage", "936"}, "applies to --follow"},
        {{"--from-start"}, "--follow only"},
        {{"--pid", "--follow", "a"}, "--debug-output only"},
        {{"--process", "a.exe", "--follow", "a"}, "--process applies to --debug-output"},
        {{"--debug-output", "--process"}, "--process needs"},
        // A bad pattern is named with what is wrong with it, where std::regex's own words mislead.
        {{"--follow", "a", "--include", "(x"}, "--include: bad pattern \"(x\": '(' is never closed (character 1)"},
        {{"--exclude", "x(?:a"}, "'(' is never closed (character 2)"},
        {{"--include", "a(b)c)"}, "bad pattern \"a(b)c)\": ')' has no '(' before it (character 6)"},
        {{"--exclude", "[a"}, "--exclude: bad pattern \"[a\": '[' is never closed (character 1)"},
        {{"--include", "*foo"}, "bad pattern \"*foo\": nothing to repeat before '*' (character 1)"},
        {{"--exclude", "error|+warn"}, "nothing to repeat before '+' (character 7)"},
        {{"--include", "(?i)x"}, "'(?' starts no kind of group known here"},
        {{"--include", "(?<=a)b"}, "look-behind '(?<' is not supported (character 1)"},
        {{"--include", "a{2,1}"}, "bad pattern \"a{2,1}\": Invalid range in '{}'"},
        {{"--include"}, "--include needs a regular expression"},
        {{"--time", "msg"}, "apply to the bridges and the lines of standard input"},
        {{"--include", "x", "--raw"}, "apply to the bridges"},
        {{"--syslog-udp", "514", "--process", "a"}, "--process"},
    };
    ForEachCase(cases, [](const Refusal& c) { EXPECT_TRUE(RefusedSaying(c.args, c.reason)); });
}

// The rules are read for every bridge and for standard input's lines, each pattern kept in order.
TEST(ZelsendOptionsRules, AreReadForEveryBridge)
{
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {"--follow", "a.log"}, {"--debug-output"}, {"--syslog-udp", "5514"}, {"--crlf"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"--include", "a", "--exclude", "b", "--include", "c|d", "--time"});
        Options o;
        ASSERT_TRUE(Parses(args, o)) << mode[0];
        EXPECT_EQ(o.include, (std::vector<std::string>{"a", "c|d"}));
        EXPECT_EQ(o.exclude, (std::vector<std::string>{"b"}));
        EXPECT_TRUE(o.time);
    }
    Options o;
    ASSERT_TRUE(Parses({"--debug-output", "--process", "app.exe", "--process", "42"}, o));
    EXPECT_EQ(o.processes, (std::vector<std::string>{"app.exe", "42"}));
}

// --help is the only manual a Windows user has at hand: it must name what they trip over.
TEST(ZelsendOptionsHelp, NamesTheLimitTheExitCodesAndTheConversion)
{
    const std::string usage = kUsage;
    for (const char* part :
         {"--version", "--utf8", "--input-codepage", "16777216 bytes (16 MiB)", "Exit codes: 0",
          "2 bad arguments (a pattern that is not a regex), or a frame over 16 MiB", "ANSI code page (936",
          "console's code page", "--follow PATH", "--from-start", "--debug-output", "--pid", "[1234 app.exe] ",
          "Ctrl+C", "--include REGEX", "--exclude REGEX", "--process NAME", "--time", "hh:mm:ss.mmm"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    // The version users know, which the package's name and README also carry: a new version
    // changes it here as it does there.
    EXPECT_STREQ(kVersionLine, "zelsend 1.0.0.1\n");
}

// --- Text conversion -------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    unsigned codePage;
    std::string bytes;
    std::string utf8;
};

TEST(ZelsendDecode, LinesBecomeTheSameTextInUtf8)
{
    const DecodeCase cases[] = {
        {"Chinese936", 936, "\xC8\xD5\xD6\xBE ok\r", "\xE6\x97\xA5\xE5\xBF\x97 ok\r"},
        {"Western1252", 1252, "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"Utf8Unchanged", 65001, "\xE6\x97\xA5\xFF", "\xE6\x97\xA5\xFF"},
        {"CutCharacterShowsAsQuestionMark", 936, "ab\xC8", "ab?"},
        {"Empty", 936, "", ""},
    };
    ForEachCase(cases, [](const DecodeCase& c) {
        TextDecoder decoder;
        ASSERT_EQ(OpenRefusal(decoder, c.codePage), "");
        EXPECT_EQ(decoder.ToUtf8(c.bytes), c.utf8);
    });
}

TEST(ZelsendDecodeRules, UnknownCodePageIsRefusedAndDefaultKeepsBytes)
{
    TextDecoder decoder;
    EXPECT_TRUE(RefusesCodePage(decoder, 12345));
    EXPECT_EQ(decoder.ToUtf8("\xC8\xD5"), "\xC8\xD5");
}

// "From now on": a decoder opened again as UTF-8 no longer converts from the earlier code page.
TEST(ZelsendDecodeRules, OpenedAgainAsUtf8KeepsBytes)
{
    TextDecoder decoder;
    ASSERT_EQ(OpenRefusal(decoder, 936), "");
    ASSERT_EQ(OpenRefusal(decoder, 65001), "");
    EXPECT_EQ(decoder.ToUtf8("\xE6\x97\xA5"), "\xE6\x97\xA5");
}

#ifdef _WIN32
// The one UTF-16 to UTF-8 conversion of the Windows side (arguments, decoded lines, process
// names): it takes the length it is given, and a broken character becomes U+FFFD rather than
// emptying the whole text.
struct Utf16Case {
    const char* name;
    std::wstring utf16;
    size_t length;
    std::string utf8;
};

TEST(ZelsendUtf16, TextBecomesTheSameTextInUtf8)
{
    const Utf16Case cases[] = {
        {"Empty", L"", 0, ""},
        {"Chinese", L"\x65E5\x5FD7 ok", 5, "\xE6\x97\xA5\xE5\xBF\x97 ok"},
        {"SurrogatePair", L"\xD83D\xDE00", 2, "\xF0\x9F\x98\x80"},
        {"LoneSurrogateBecomesReplacement", L"a\xD800z", 3, "a\xEF\xBF\xBDz"},
        {"OnlyTheGivenLength", std::wstring(L"ab\0cd", 5), 4, std::string("ab\0c", 4)},
    };
    ForEachCase(cases, [](const Utf16Case& c) { EXPECT_EQ(Narrow(c.utf16.data(), c.length), c.utf8); });
}
#endif

} // namespace
