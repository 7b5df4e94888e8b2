// The syslog relay's framing and text repair: octet-counted and LF-ended frames split at every
// byte, the trimming of what senders put at a message's end, invalid UTF-8 and the bound.
#include "syslog/syslog_framing.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;
using namespace std::string_literals;

namespace {

const std::string kMark = "\xEF\xBF\xBD"; // U+FFFD

std::vector<std::string> FeedInReads(const std::string& stream, const std::vector<size_t>& cuts, size_t bound)
{
    SyslogStream syslog(bound);
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t cut : cuts) {
        syslog.Feed(std::string_view(stream).substr(from, cut - from), lines);
        EXPECT_LE(syslog.HeldBytes(), bound);
        from = cut;
    }
    syslog.Feed(std::string_view(stream).substr(from), lines);
    syslog.Finish(lines);
    return lines;
}

// The cuts that feed `stream` to the relay one byte at a time.
std::vector<size_t> EveryByte(const std::string& stream)
{
    std::vector<size_t> cuts;
    for (size_t at = 1; at < stream.size(); ++at)
        cuts.push_back(at);
    return cuts;
}

// --- Framing, split anywhere ---------------------------------------------------------------

struct StreamCase {
    const char* name;
    std::string stream; // what one connection sends, start to end
    std::vector<std::string> lines;
};

const std::string k3164 = "<13>Dec  8 10:00:00 build01 cc[42]: warning: unused x";
const std::string k5424 = "<165>1 2026-12-08T10:00:00.003Z build01 evntslog - ID47 "
                          "[exampleSDID@32473 iut=\"3\"] \xEF\xBB\xBF\xE6\x97\xA5\xE5\xBF\x97 ok";

TEST(SyslogTcpFraming, SameLinesWhereverTheReadsSplitTheStream)
{
    const StreamCase cases[] = {
        {"OctetCounted3164", std::to_string(k3164.size()) + " " + k3164, {k3164 + "\r\n"}},
        {"OctetCounted5424Twice",
         std::to_string(k5424.size()) + " " + k5424 + std::to_string(k5424.size()) + " " + k5424,
         {k5424 + "\r\n", k5424 + "\r\n"}},
        // The count covers an LF inside and one at the end; only the end is trimmed, and the
        // inner break becomes CR LF.
        {"OctetCountedKeepsInnerBreak", "9 <1>a\nb\r\n\n3 <2>", {"<1>a\r\nb\r\n", "<2>\r\n"}},
        {"LfEnded", k3164 + "\n" + k5424 + "\r\n", {k3164 + "\r\n", k5424 + "\r\n"}},
        {"LfEndedWithNulAndBlankLines", "\n\n<14>py\x00\n\n<14>two\x00\n"s, {"<14>py\r\n", "<14>two\r\n"}},
        {"PythonHandlerNulEnded", "<14>a\x00<14>b\x00"s, {"<14>a\r\n", "<14>b\r\n"}},
        {"MixedFramesOneConnection", "5 <1>ab<2>cd\n7 <3>efgh", {"<1>ab\r\n", "<2>cd\r\n", "<3>efgh\r\n"}},
        // Digits without "LEN SP" start a line after all, as do a zero count and ten digits.
        {"DigitsThatAreNoCount",
         "12:00 up\n0 zero\n1234567890 x\n",
         {"12:00 up\r\n", "0 zero\r\n", "1234567890 x\r\n"}},
        {"LastLineWithoutLfShownAtClose", "<1>one\n<2>two", {"<1>one\r\n", "<2>two\r\n"}},
        {"CountedCutShortByClose", "9 <1>abc", {"<1>abc [cut: 9 bytes in all]\r\n"}},
    };
    ForEachCase(cases, [](const StreamCase& c) {
        EXPECT_EQ(FeedInReads(c.stream, {}, kSyslogBound), c.lines) << "in one read";
        for (size_t cut = 0; cut <= c.stream.size(); ++cut)
            EXPECT_EQ(FeedInReads(c.stream, {cut}, kSyslogBound), c.lines) << "split at " << cut;
        for (size_t cut = 1; cut + 1 <= c.stream.size(); ++cut)
            EXPECT_EQ(FeedInReads(c.stream, {cut - 1, cut, cut + 1}, kSyslogBound), c.lines)
                << "one byte alone at " << cut;
        EXPECT_EQ(FeedInReads(c.stream, EveryByte(c.stream), kSyslogBound), c.lines) << "byte by byte";
    });
}

// --- One message's text ----------------------------------------------------------------------

struct RepairCase {
    const char* name;
    std::string message;
    std::string line;
};

TEST(SyslogTextRepair, LineIsValidUtf8WithoutNulEndedByCrLf)
{
    const RepairCase cases[] = {
        {"PythonHandlerNulTrimmed", "<14>root: started\x00"s, "<14>root: started\r\n"},
        {"EveryTrailingLfCrNulTrimmed", "<14>x\r\n\x00\n\r\x00"s, "<14>x\r\n"},
        {"LeadingAndInnerSpacesKept", "  a \t b  ", "  a \t b  \r\n"},
        {"NulInsideReplaced",
         "<14>a\x00"
         "b\x00"s,
         "<14>a" + kMark + "b\r\n"},
        {"OnlyEndBytesShowNothing", "\r\n\x00"s, ""},
        // The rest of the repair: follow_test.cpp's Utf8Repair.
        {"Latin1ByteIsOneMark", "caf\xE9 ok", "caf" + kMark + " ok\r\n"},
        // Windows' edit control breaks lines at CR LF only.
        {"InnerLfBecomesCrLf", "<14>a\nb\n", "<14>a\r\nb\r\n"},
        {"InnerCrLfStays", "<14>a\r\nb", "<14>a\r\nb\r\n"},
        {"InnerLoneCrBecomesCrLf", "<14>a\rb", "<14>a\r\nb\r\n"},
        {"EveryBreakOfARunIsKept", "a\n\nb\r\r\nc\n\rd", "a\r\n\r\nb\r\n\r\nc\r\n\r\nd\r\n"},
        {"LeadingBreakKept", "\nx", "\r\nx\r\n"},
    };
    ForEachCase(cases, [](const RepairCase& c) {
        EXPECT_EQ(SyslogLine(c.message), c.line);
        // A datagram is one message: the same line.
        EXPECT_EQ(SyslogDatagramLine(c.message), c.line);
    });
}

// --- The bound ----------------------------------------------------------------------------------

struct BoundCase {
    const char* name;
    std::string stream;
    std::vector<std::string> lines;
    uint64_t cut;
};

constexpr size_t kSmallBound = 32;

const std::string kLong(100, 'x');
const std::string kKept(kSmallBound, 'x');

TEST(SyslogBound, LongMessageIsCutAtTheBoundAndTheNextOneIsWhole)
{
    const BoundCase cases[] = {
        {"ExactlyTheBoundIsWhole", "32 " + kKept + "\n", {kKept + "\r\n"}, 0},
        {"OctetCountOverTheBound", "100 " + kLong + "4 next", {kKept + " [cut: 100 bytes in all]\r\n", "next\r\n"}, 1},
        {"LfLessRunOverTheBound", kLong + "\nnext\n", {kKept + " [cut: 100 bytes in all]\r\n", "next\r\n"}, 1},
        // Never half a character: the cut one goes whole.
        {"CutInsideACharacter",
         std::string(30, 'a') + "\xE6\x97\xA5\xE5\xBF\x97\n",
         {std::string(30, 'a') + " [cut: 36 bytes in all]\r\n"},
         1},
        {"HugeCountHoldsOnlyTheBound", "999999999 " + kLong, {kKept + " [cut: 999999999 bytes in all]\r\n"}, 1},
    };
    ForEachCase(cases, [](const BoundCase& c) {
        EXPECT_EQ(FeedInReads(c.stream, EveryByte(c.stream), kSmallBound), c.lines); // also checks the held bytes
        SyslogStream whole(kSmallBound);
        std::vector<std::string> lines;
        whole.Feed(c.stream, lines);
        whole.Finish(lines);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(whole.CutMessages(), c.cut);
    });
}

TEST(SyslogDatagram, OverTheBoundIsCutAndSaysItsLength)
{
    EXPECT_EQ(SyslogDatagramLine(kLong, kSmallBound), kKept + " [cut: 100 bytes in all]\r\n");
    EXPECT_EQ(SyslogDatagramLine(kKept, kSmallBound), kKept + "\r\n");
    EXPECT_EQ(SyslogDatagramLine(""), "");
}

} // namespace
