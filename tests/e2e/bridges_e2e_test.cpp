// zelsend's bridges under Wine, into the real console: debug output that a mingw program writes
// with OutputDebugStringA and OutputDebugStringW through Wine's own debug-output protocol, and a
// log file followed through appends, rotation by rename and truncation, and a program that
// rotates its own log under zelsend.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "testkit/child_process.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/debug_writer.h"
#include "testkit/log_rotator.h"
#include "testkit/temp_dir.h"
#include "testkit/wire_text.h"
#include "testkit/wait.h"
#include "testkit/zelsend_runner.h"

namespace {

// --- Debug output -----------------------------------------------------------------------------

struct DebugCase {
    const char* name;
    std::wstring arguments;
    int strings;
    bool pid;
};

const DebugCase kDebugCases[] = {
    {"TwoThousandStrings", L"", 2000, false},
    {"WithProcessAndExe", L"--pid", 300, true},
};

TEST(DebugOutputE2E, AAndWStringsShowInOrderAsLines)
{
    ForEachCaseOnItsOwnConsole(kDebugCases, Service::Started, [](const DebugCase& c, const CConsoleProcess& console) {
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
        EXPECT_TRUE(ViewShows(console, expected, 60000));
    });
}

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

// Like every bridge, it says on starting what it reads and with which patterns. It runs until
// stopped: the run's limit ends it.
TEST(DebugOutputReaders, SaysWhoseOutputItReads)
{
    const ChildRun reader = RunChild(L"\"" + CConsoleProcess::WindowsPath(ZELSEND_EXE) +
                                         L"\" --port 1 --debug-output --process app.exe --process 42 --exclude \"^hb\"",
                                     "", true, 6000);
    EXPECT_NE(reader.output.find("zelsend: debug output of app.exe, 42 (--exclude \"^hb\")"), std::string::npos)
        << reader.output;
}

// --- Following a log file -----------------------------------------------------------------------

TEST(FollowE2E, AppendedRotatedAndTruncatedFileShowsEveryLine)
{
    CConsoleProcess console;
    ASSERT_EQ(console.StartWithService(), nullptr);
    TempDir dir;
    const std::wstring log = dir.File(L"service.log"), rotated = dir.File(L"service.log.1");
    // The view shows what it showed before and then `added`.
    std::wstring expected = kStarted;
    const auto shows = [&](const wchar_t* added) {
        expected += added;
        return ViewShows(console, expected, 20000);
    };
    // A line of 日志 in code page 936, a cut-off last line, and both line ends.
    ASSERT_TRUE(WriteLog(log, "old \xC8\xD5\xD6\xBE\r\nhalf", true));
    RunningZelsend zelsend(L"--follow \"" + log + L"\" --from-start --input-codepage 936");
    ASSERT_TRUE(zelsend.Started());
    ASSERT_TRUE(shows(L"old 日志\r\n"));

    // The cut-off line waits for its end.
    ASSERT_TRUE(WriteLog(log, " done\n\xB7\xFE\xCE\xF1 up\r\n"));
    ASSERT_TRUE(shows(L"half done\r\n服务 up\r\n"));

    // Rotation: renamed while zelsend holds it, its writer adds a last line, a new file follows.
    ASSERT_TRUE(::MoveFileExW(log.c_str(), rotated.c_str(), 0)) << ::GetLastError();
    ASSERT_TRUE(WriteLog(rotated, "last of old\n"));
    ASSERT_TRUE(WriteLog(log, "first of new\n", true));
    ASSERT_TRUE(shows(L"last of old\r\nfirst of new\r\n"));

    // Truncation: the file starts over, shorter than before, and is read from its start.
    ASSERT_TRUE(WriteLog(log, "after\n", true));
    ASSERT_TRUE(shows(L"after\r\n"));
    ASSERT_TRUE(WriteLog(log, "more\n"));
    EXPECT_TRUE(shows(L"more\r\n"));
    EXPECT_TRUE(zelsend.RunsAfter(0));
}

// A program that rotates its log twice in a row, as back-to-back rotations do, with zelsend
// following it: a rename onto the rotated file that zelsend held failed with error 5. Each round
// the program writes, zelsend shows it all, then the program rotates twice and writes into the
// new file, then writes and rotates once: lines zelsend had not read before that rename are
// read where the renamed file went.
TEST(FollowE2E, ProgramRotatingItsLogNeverFailsAndEveryLineShows)
{
    CConsoleProcess console;
    ASSERT_EQ(console.StartWithService(), nullptr);
    TempDir dir;
    const std::wstring log = dir.File(L"svc.log");
    RunningZelsend zelsend(L"--follow \"" + log + L"\" --from-start");
    ASSERT_TRUE(zelsend.Started());
    std::wstring expected = kStarted;
    int next = 0;
    // Runs the program's steps once, from line `next` on, and waits until the view shows its lines.
    const auto run = [&](int lines, const std::wstring& steps) {
        const ChildRun rotator =
            RunToEnd(ZEL_LOG_ROTATOR_EXE, L"\"" + log + L"\" " + std::to_wstring(next) + L" 1 " + steps);
        for (const int end = next + lines; next < end; ++next)
            expected += Widen(LogRotatorLine(next)) + L"\r\n";
        EXPECT_EQ(rotator.exitCode, 0u) << rotator.output;
        return ViewShows(console, expected, 20000);
    };
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(run(20, L"w20")) << "round " << round;
        ASSERT_TRUE(run(5, L"r r w5")) << "round " << round;
        ASSERT_TRUE(run(6, L"w3 r w3")) << "round " << round;
    }
    EXPECT_TRUE(zelsend.RunsAfter(0));
}

} // namespace
