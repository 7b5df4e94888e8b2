// What --debug-output does with a captured message, without Windows: its text as the console
// shows it, and the queue between capture and conversion, which must never hold up the capture.
#include "debug_output/captured_queue.h"
#include "debug_output/debug_text.h"
#include "common/options.h"
#include "decoder_checks.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace zelsend;

namespace {

// --- The text of a message -------------------------------------------------------------------

struct DebugTextCase {
    const char* name;
    unsigned codePage; // the system's ANSI code page
    std::string ansi;
    std::string prefix;
    std::string shown;
};

const std::string kLog = "\xE6\x97\xA5\xE5\xBF\x97"; // 日志 in UTF-8
const std::string kPid = "[1234 app.exe] ";

TEST(DebugOutputText, EveryLineEndsWithCrLf)
{
    const DebugTextCase cases[] = {
        {"NoLineEndGetsOne", 1252, "started", "", "started\r\n"},
        {"LoneLfBecomesCrLf", 1252, "started\n", "", "started\r\n"},
        {"CrLfStays", 1252, "started\r\n", "", "started\r\n"},
        {"EmptyMessageIsAnEmptyLine", 1252, "", "", "\r\n"},
        {"LinesInsideEachEndWithCrLf", 1252, "a\nb\r\n\nc", "", "a\r\nb\r\n\r\nc\r\n"},
        {"LoneCrInsideStays", 1252, "a\rb", "", "a\rb\r\n"},
        {"Ansi936ToUtf8", 936, "\xC8\xD5\xD6\xBE\n", "", kLog + "\r\n"},
        {"Ansi1252ToUtf8", 1252, "caf\xE9\n", "", "caf\xC3\xA9\r\n"},
        {"CutCharacterIsShownAsQuestionMark", 936, "ab\xC8", "", "ab?\r\n"},
        {"InvalidUtf8UnderCodePage65001IsRepaired", 65001, "a\xFF\n", "", "a\xEF\xBF\xBD\r\n"},
        {"PidBeforeTheLine", 1252, "x\n", kPid, kPid + "x\r\n"},
        {"PidBeforeEveryLine", 936, "\xC8\xD5\n2", kPid, kPid + "\xE6\x97\xA5\r\n" + kPid + "2\r\n"},
    };
    ForEachCase(cases, [](const DebugTextCase& c) {
        TextDecoder decoder;
        ASSERT_EQ(OpenRefusal(decoder, c.codePage), "");
        EXPECT_EQ(zelsend::DebugOutputText(c.ansi, decoder, c.prefix), c.shown);
    });
}

// --include/--exclude take a message line by line; --time comes before the --pid prefix.
TEST(DebugOutputRules, EachLineIsFilteredAndStampedBeforeItsPrefix)
{
    TextDecoder decoder;
    ASSERT_EQ(OpenRefusal(decoder, 1252), "");
    Options options;
    options.include = {"keep"};
    options.exclude = {"not"};
    options.time = true;
    LineRules rules;
    std::string error;
    ASSERT_TRUE(rules.Set(options, error)) << error;
    const std::string stamp = "10:00:00.001 ";
    EXPECT_EQ(zelsend::DebugOutputText("keep 1\ndrop\r\nKEEP 2\nkeep not", decoder, kPid, rules, stamp),
              stamp + kPid + "keep 1\r\n" + stamp + kPid + "KEEP 2\r\n");
    EXPECT_EQ(zelsend::DebugOutputText("drop\n", decoder, kPid, rules, stamp), "");
}

struct PrefixCase {
    uint32_t pid;
    std::string exe;
    std::string prefix;
};

TEST(DebugOutputPrefix, NamesTheProcessByItsExeFile)
{
    const PrefixCase cases[] = {
        {1234, "app.exe", "[1234 app.exe] "},
        {8, "C:\\Program Files\\Zel\\svc.exe", "[8 svc.exe] "},
        {4294967295u, "/opt/wine/x.exe", "[4294967295 x.exe] "},
        {77, "", "[77 ?] "},
    };
    ForEachCase(cases, [](const PrefixCase& c) { EXPECT_EQ(ProcessPrefix(c.pid, c.exe), c.prefix); });
}

// --- Between capture and conversion ----------------------------------------------------------

// The converter's side of the queue: what its last take handed out.
struct Taker {
    std::vector<CapturedText> texts;
    uint64_t dropped = 0;

    // False once the queue is closed and empty.
    bool From(CapturedQueue& queue, std::chrono::milliseconds pause = std::chrono::milliseconds(0))
    {
        return queue.Take(texts, dropped, pause);
    }
};

TEST(DebugOutputQueue, FullQueueDropsAndCountsWithoutWaiting)
{
    CapturedQueue queue(10);
    EXPECT_TRUE(queue.Push(1, "12345"));
    EXPECT_TRUE(queue.Push(2, "6789"));
    EXPECT_FALSE(queue.Push(3, "ab"));
    EXPECT_FALSE(queue.Push(3, "cd"));
    Taker taken;
    ASSERT_TRUE(taken.From(queue));
    ASSERT_EQ(taken.texts.size(), 2u);
    EXPECT_EQ(taken.texts[0].pid, 1u);
    EXPECT_EQ(taken.texts[1].text, "6789");
    EXPECT_EQ(taken.dropped, 1u + 1u);
    // Once taken, there is room again, and the count starts over.
    EXPECT_TRUE(queue.Push(4, "abcdefghij"));
    ASSERT_TRUE(taken.From(queue));
    EXPECT_EQ(taken.texts.size(), 1u);
    EXPECT_EQ(taken.dropped, 0u);
}

TEST(DebugOutputQueue, ClosedQueueHandsOutTheRestThenEnds)
{
    CapturedQueue queue(100);
    queue.Push(1, "last");
    queue.Close();
    Taker taken;
    ASSERT_TRUE(taken.From(queue));
    EXPECT_EQ(taken.texts.size(), 1u);
    EXPECT_FALSE(taken.From(queue, std::chrono::milliseconds(1000)));
}

// A capture thread and a converter thread at full speed: every message arrives once and in
// order, or is counted as dropped; none is lost without a count.
TEST(DebugOutputQueue, EveryMessageArrivesInOrderOrIsCounted)
{
    constexpr int kMessages = 200000;
    CapturedQueue queue(4096);
    std::thread capture([&] {
        for (int i = 0; i < kMessages; ++i)
            queue.Push(static_cast<uint32_t>(i), std::to_string(i));
        queue.Close();
    });
    Taker taken;
    uint64_t droppedAll = 0;
    int64_t last = -1, arrived = 0;
    bool inOrder = true;
    while (taken.From(queue, std::chrono::milliseconds(1000))) {
        droppedAll += taken.dropped;
        for (const CapturedText& t : taken.texts) {
            inOrder = inOrder && static_cast<int64_t>(t.pid) > last && t.text == std::to_string(t.pid);
            last = t.pid;
            ++arrived;
        }
    }
    capture.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(arrived + static_cast<int64_t>(droppedAll), kMessages);
}

} // namespace
