// zelsend's bridges under Wine, into the real console: debug output that a mingw program writes
// with OutputDebugStringA and OutputDebugStringW through Wine's own debug-output protocol, and a
// log file followed through appends, rotation by rename and truncation.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "res/resource.h"
#include "testkit/child_process.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/debug_writer.h"
#include "testkit/temp_dir.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"
#include "testkit/zelsend_runner.h"

namespace {

// --- Debug output -----------------------------------------------------------------------------

struct DebugCase {
    const char* name;
    std::wstring arguments;
    int strings;
    bool pid;
};

class DebugOutputE2E : public testing::TestWithParam<DebugCase> {};

TEST_P(DebugOutputE2E, AAndWStringsShowInOrderAsLines)
{
    const DebugCase& c = GetParam();
    CConsoleProcess console;
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.StartService());
    RunningZelsend zelsend(L"--debug-output " + c.arguments);
    ASSERT_TRUE(zelsend.Started());
    ASSERT_TRUE(ReaderListens());

    const ChildRun writer = RunToEnd(ZEL_DEBUG_WRITER_EXE, std::to_wstring(c.strings));
    ASSERT_EQ(writer.exitCode, 0u) << writer.output;
    unsigned long pid = 0;
    ASSERT_EQ(std::sscanf(writer.output.c_str(), "pid %lu", &pid), 1) << writer.output;
    const std::wstring prefix = c.pid ? L"[" + std::to_wstring(pid) + L" debug_writer.exe] " : L"";
    std::wstring expected = kStarted;
    for (int i = 0; i < c.strings; ++i)
        expected += prefix + DebugWriterText(i) + L"\r\n";
    EXPECT_TRUE(console.WaitForText(
        IDC_LOG_VIEW, [&](const std::wstring& t) { return t == expected; }, 60000))
        << ToUtf8(console.Text(IDC_LOG_VIEW).substr(0, 2000));
}

INSTANTIATE_TEST_SUITE_P(Writers, DebugOutputE2E,
                         testing::Values(DebugCase{"TwoThousandStrings", L"", 2000, false},
                                         DebugCase{"WithProcessAndExe", L"--pid", 300, true}),
                         [](const testing::TestParamInfo<DebugCase>& info) { return info.param.name; });

// Only one program can read debug output: a second reader says so and ends, and the first
// keeps reading.
TEST(DebugOutputReaders, SecondReaderIsRefusedPlainly)
{
    RunningZelsend first(L"--debug-output --port 1");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(ReaderListens());
    const ChildRun second = RunToEnd(ZELSEND_EXE, L"--debug-output --port 1");
    EXPECT_EQ(second.exitCode, 1u) << second.output;
    EXPECT_NE(second.output.find("another program reads debug output already"), std::string::npos) << second.output;
    EXPECT_TRUE(first.RunsAfter(200));
}

// --- Following a log file -----------------------------------------------------------------------

TEST(FollowE2E, AppendedRotatedAndTruncatedFileShowsEveryLine)
{
    CConsoleProcess console;
    ASSERT_TRUE(console.Start());
    ASSERT_TRUE(console.StartService());
    TempDir dir;
    const std::wstring log = dir.File(L"service.log"), rotated = dir.File(L"service.log.1");
    // A line of 日志 in code page 936, a cut-off last line, and both line ends.
    ASSERT_TRUE(WriteLog(log, "old \xC8\xD5\xD6\xBE\r\nhalf", true));
    RunningZelsend zelsend(L"--follow \"" + log + L"\" --from-start --input-codepage 936");
    ASSERT_TRUE(zelsend.Started());
    std::wstring expected = std::wstring(kStarted) + L"old 日志\r\n";
    const auto shows = [&] {
        return console.WaitForText(
            IDC_LOG_VIEW, [&](const std::wstring& t) { return t == expected; }, 20000);
    };
    ASSERT_TRUE(shows()) << ToUtf8(console.Text(IDC_LOG_VIEW));

    // The cut-off line waits for its end.
    ASSERT_TRUE(WriteLog(log, " done\n\xB7\xFE\xCE\xF1 up\r\n"));
    expected += L"half done\r\n服务 up\r\n";
    ASSERT_TRUE(shows()) << ToUtf8(console.Text(IDC_LOG_VIEW));

    // Rotation: renamed while zelsend holds it, its writer adds a last line, a new file follows.
    ASSERT_TRUE(::MoveFileExW(log.c_str(), rotated.c_str(), 0)) << ::GetLastError();
    ASSERT_TRUE(WriteLog(rotated, "last of old\n"));
    ASSERT_TRUE(WriteLog(log, "first of new\n", true));
    expected += L"last of old\r\nfirst of new\r\n";
    ASSERT_TRUE(shows()) << ToUtf8(console.Text(IDC_LOG_VIEW));

    // Truncation: the file starts over, shorter than before, and is read from its start.
    ASSERT_TRUE(WriteLog(log, "after\n", true));
    expected += L"after\r\n";
    ASSERT_TRUE(shows()) << ToUtf8(console.Text(IDC_LOG_VIEW));
    ASSERT_TRUE(WriteLog(log, "more\n"));
    expected += L"more\r\n";
    EXPECT_TRUE(shows()) << ToUtf8(console.Text(IDC_LOG_VIEW));
    EXPECT_TRUE(zelsend.RunsAfter(0));
}

} // namespace
