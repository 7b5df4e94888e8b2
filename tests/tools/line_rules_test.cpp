// The rules every bridge applies to a line: --include and --exclude (std::regex, ECMAScript,
// case-insensitive, searched anywhere; plain words searched as text), --process and --time.
#include "common/line_rules.h"
#include "common/options.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace zelsend;

namespace {

// The rules take the options, or the failure says why not.
testing::AssertionResult Sets(LineRules& rules, const Options& options)
{
    std::string error;
    if (rules.Set(options, error))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << error;
}

struct FilterCase {
    const char* name;
    std::vector<std::string> include, exclude;
    std::vector<std::pair<std::string, bool>> lines; // each line and whether it goes
};

// Each plain-word case has a twin written as a regex: both ways must agree.
TEST(LineFilters, KeepWhatSomeIncludeHoldsAndNoExclude)
{
    const FilterCase cases[] = {
        {"NoPatternsKeepAll", {}, {}, {{"", true}, {"anything", true}}},
        {"WordAnywhereAnyCase",
         {"error"},
         {},
         {{"disk ERROR 5", true}, {"Error:", true}, {"errors", true}, {"err or", false}, {"", false}}},
        {"WordAsRegex", {"e[r]ror"}, {}, {{"disk ERROR 5", true}, {"Error:", true}, {"err or", false}}},
        {"AlternativeWords", {"warn|fail"}, {}, {{"WARNING", true}, {"failed", true}, {"ok", false}}},
        {"AlternativeRegex", {"(warn|fail)"}, {}, {{"WARNING", true}, {"failed", true}, {"ok", false}}},
        {"AnyOfSeveralIncludes",
         {"^disk", "net$"},
         {},
         {{"disk full", true}, {"to net", true}, {"a disk", false}, {"net down", false}}},
        {"ExcludeWinsOverInclude",
         {"error"},
         {"debug", "^\\[noise\\]"},
         {{"error", true}, {"DEBUG error", false}, {"[noise] error", false}, {"x [noise] error", true}}},
        {"ExcludeAlone", {}, {"heartbeat"}, {{"HeartBeat ok", false}, {"started", true}}},
        // Non-ASCII text is matched byte for byte: no case to fold.
        {"ChineseWord", {"\xE6\x97\xA5\xE5\xBF\x97"}, {}, {{"\xE6\x97\xA5\xE5\xBF\x97 ok", true}, {"ok", false}}},
        {"DotIsAnyCharacter", {"a.c"}, {}, {{"abc", true}, {"ac", false}}},
        {"EmptyAlternativeMatchesAll", {"x|"}, {}, {{"y", true}}},
        // Patterns that start with words are tried only where a word is: each place counts.
        {"LeadingWordThenRegex",
         {"disk \\d+"},
         {},
         {{"DISK 12 full", true}, {"disk x", false}, {"a disk 3", true}, {"disk x disk 4", true}}},
        {"LeadingAlternatives",
         {"(error|warn)\\s*:"},
         {},
         {{"WARN : x", true}, {"error x", false}, {"warn x error:", true}}},
        {"GroupThenAnotherAlternative", {"(a|b)c|d"}, {}, {{"d", true}, {"bc", true}, {"ab", false}}},
        {"LastLetterOptional", {"xab*c"}, {}, {{"xac", true}, {"xabbc", true}, {"xab", false}}},
        {"BoundaryAfterTheWord", {"cat\\b"}, {}, {{"cats", false}, {"the cat", true}, {"cats cat.", true}}},
        {"BoundaryBeforeTheWordSeesThePreviousCharacter", {"x\\bcat"}, {}, {{"x cat", false}, {"xcat", false}}},
    };
    ForEachCase(cases, [](const FilterCase& c) {
        Options options;
        options.include = c.include;
        options.exclude = c.exclude;
        LineRules rules;
        ASSERT_TRUE(Sets(rules, options));
        for (const auto& [line, kept] : c.lines)
            EXPECT_EQ(rules.Keeps(line), kept) << line;
    });
}

TEST(LineFilterPatterns, BadPatternIsRefusedWithTheRegexError)
{
    for (const char* bad : {"(", "[a", "a{2,1}", "*x"}) {
        LinePattern pattern;
        std::string error;
        EXPECT_FALSE(pattern.Compile(bad, error)) << bad;
        EXPECT_NE(error.find(std::string("\"") + bad + "\""), std::string::npos) << error;
    }
    Options options;
    options.exclude = {"ok", "(x"};
    LineRules rules;
    std::string error;
    EXPECT_FALSE(rules.Set(options, error));
    EXPECT_NE(error.find("--exclude"), std::string::npos) << error;
}

struct ProcessCase {
    std::vector<std::string> wanted;
    uint32_t pid;
    std::string exe;
    bool kept;
};

TEST(ProcessChoice, ByExeNameWithoutCaseOrById)
{
    const ProcessCase cases[] = {
        {{}, 7, "any.exe", true},
        {{"App.EXE"}, 7, "app.exe", true},
        {{"app"}, 7, "APP.exe", true},
        {{"app.exe"}, 7, "other.exe", false},
        {{"app.exe"}, 7, "", false}, // ended before it was looked up
        {{"other.exe", "1234"}, 1234, "", true},
        // Digits name a process id only.
        {{"123"}, 1234, "123.exe", false},
        {{"123.exe"}, 1234, "123.exe", true},
        {{"1234"}, 123, "x.exe", false},
    };
    ForEachCase(cases, [](const ProcessCase& c) {
        Options options;
        options.processes = c.wanted;
        LineRules rules;
        ASSERT_TRUE(Sets(rules, options));
        EXPECT_EQ(rules.KeepsProcess(c.pid, c.exe), c.kept);
    });
}

void SetZone(const char* zone)
{
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone)
        setenv("TZ", zone, 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}

// A fixed zone, so that the stamp of a fixed moment is known.
class UtcClock : public testing::Test {
protected:
    void SetUp() override
    {
        const char* zone = std::getenv("TZ");
        hadZone_ = zone != nullptr;
        saved_ = zone ? zone : "";
        SetZone("UTC0");
    }
    void TearDown() override { SetZone(hadZone_ ? saved_.c_str() : nullptr); }

private:
    std::string saved_;
    bool hadZone_ = false;
};

TEST_F(UtcClock, TimeComesFirstThenThePrefixThenTheText)
{
    // 2023-11-14 22:13:20.045 UTC
    const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000045LL));
    EXPECT_EQ(ClockStamp(at), "22:13:20.045 ");
    Options options;
    options.time = true;
    options.exclude = {"skip"};
    LineRules rules;
    ASSERT_TRUE(Sets(rules, options));
    std::string out;
    EXPECT_TRUE(rules.Append(out, "hello", rules.Stamp(at), "[12 a.exe] "));
    EXPECT_FALSE(rules.Append(out, "skip me", rules.Stamp(at), "[12 a.exe] "));
    EXPECT_EQ(out, "22:13:20.045 [12 a.exe] hello\r\n");
    options.time = false;
    ASSERT_TRUE(Sets(rules, options));
    EXPECT_EQ(rules.Stamp(at), "");
}

} // namespace
