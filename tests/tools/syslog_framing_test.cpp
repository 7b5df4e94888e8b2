// The syslog relay's framing and text repair: octet-counted and LF-ended frames split at every
// byte, the trimming of what senders put at a message's end, invalid UTF-8 and the bound.
#include "syslog/syslog_framing.h"

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

// --- Framing, split anywhere ---------------------------------------------------------------

struct StreamCase {
    const char* name;
    std::string stream; // what one connection sends, start to end
    std::vector<std::string> lines;
};

class SyslogTcpFraming : public testing::TestWithParam<StreamCase> {};

TEST_P(SyslogTcpFraming, SameLinesWhereverTheReadsSplitTheStream)
{
    const StreamCase& c = GetParam();
    EXPECT_EQ(FeedInReads(c.stream, {}, kSyslogBound), c.lines) << "in one read";
    for (size_t cut = 0; cut <= c.stream.size(); ++cut)
        EXPECT_EQ(FeedInReads(c.stream, {cut}, kSyslogBound), c.lines) << "split at " << cut;
    for (size_t cut = 1; cut + 1 <= c.stream.size(); ++cut)
        EXPECT_EQ(FeedInReads(c.stream, {cut - 1, cut, cut + 1}, kSyslogBound), c.lines) << "one byte alone at " << cut;
    std::vector<size_t> everyByte;
    for (size_t at = 1; at < c.stream.size(); ++at)
        everyByte.push_back(at);
    EXPECT_EQ(FeedInReads(c.stream, everyByte, kSyslogBound), c.lines) << "byte by byte";
}

const std::string k3164 = "<13>Dec  8 10:00:00 build01 cc[42]: warning: unused x";
const std::string k5424 = "<165>1 2026-12-08T10:00:00.003Z build01 evntslog - ID47 "
                          "[exampleSDID@32473 iut=\"3\"] \xEF\xBB\xBF\xE6\x97\xA5\xE5\xBF\x97 ok";

INSTANTIATE_TEST_SUITE_P(
    Streams, SyslogTcpFraming,
    testing::Values(
        StreamCase{"OctetCounted3164", std::to_string(k3164.size()) + " " + k3164, {k3164 + "\r\n"}},
        StreamCase{"OctetCounted5424Twice",
                   std::to_string(k5424.size()) + " " + k5424 + std::to_string(k5424.size()) + " " + k5424,
                   {k5424 + "\r\n", k5424 + "\r\n"}},
        // The count covers an LF inside and one at the end; only the end is trimmed, and the
        // inner break becomes CR LF.
        StreamCase{"OctetCountedKeepsInnerBreak", "9 <1>a\nb\r\n\n3 <2>", {"<1>a\r\nb\r\n", "<2>\r\n"}},
        StreamCase{"LfEnded", k3164 + "\n" + k5424 + "\r\n", {k3164 + "\r\n", k5424 + "\r\n"}},
        StreamCase{"LfEndedWithNulAndBlankLines", "\n\n<14>py\x00\n\n<14>two\x00\n"s, {"<14>py\r\n", "<14>two\r\n"}},
        StreamCase{"PythonHandlerNulEnded", "<14>a\x00<14>b\x00"s, {"<14>a\r\n", "<14>b\r\n"}},
        StreamCase{"MixedFramesOneConnection", "5 <1>ab<2>cd\n7 <3>efgh", {"<1>ab\r\n", "<2>cd\r\n", "<3>efgh\r\n"}},
        // Digits without "LEN SP" start a line after all, as do a zero count and ten digits.
        StreamCase{"DigitsThatAreNoCount",
                   "12:00 up\n0 zero\n1234567890 x\n",
                   {"12:00 up\r\n", "0 zero\r\n", "1234567890 x\r\n"}},
        StreamCase{"LastLineWithoutLfShownAtClose", "<1>one\n<2>two", {"<1>one\r\n", "<2>two\r\n"}},
        StreamCase{"CountedCutShortByClose", "9 <1>abc", {"<1>abc [cut: 9 bytes in all]\r\n"}}),
    [](const testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

// --- One message's text ----------------------------------------------------------------------

struct RepairCase {
    const char* name;
    std::string message;
    std::string line;
};

class SyslogTextRepair : public testing::TestWithParam<RepairCase> {};

TEST_P(SyslogTextRepair, LineIsValidUtf8WithoutNulEndedByCrLf)
{
    const RepairCase& c = GetParam();
    EXPECT_EQ(SyslogLine(c.message), c.line);
    // A datagram is one message: the same line.
    EXPECT_EQ(SyslogDatagramLine(c.message), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SyslogTextRepair,
    testing::Values(RepairCase{"PythonHandlerNulTrimmed", "<14>root: started\x00"s, "<14>root: started\r\n"},
                    RepairCase{"EveryTrailingLfCrNulTrimmed", "<14>x\r\n\x00\n\r\x00"s, "<14>x\r\n"},
                    RepairCase{"LeadingAndInnerSpacesKept", "  a \t b  ", "  a \t b  \r\n"},
                    RepairCase{"NulInsideReplaced",
                               "<14>a\x00"
                               "b\x00"s,
                               "<14>a" + kMark + "b\r\n"},
                    RepairCase{"OnlyEndBytesShowNothing", "\r\n\x00"s, ""},
                    // The rest of the repair: follow_test.cpp's Utf8Repair.
                    RepairCase{"Latin1ByteIsOneMark", "caf\xE9 ok", "caf" + kMark + " ok\r\n"},
                    // Windows' edit control breaks lines at CR LF only.
                    RepairCase{"InnerLfBecomesCrLf", "<14>a\nb\n", "<14>a\r\nb\r\n"},
                    RepairCase{"InnerCrLfStays", "<14>a\r\nb", "<14>a\r\nb\r\n"},
                    RepairCase{"InnerLoneCrBecomesCrLf", "<14>a\rb", "<14>a\r\nb\r\n"},
                    RepairCase{"EveryBreakOfARunIsKept", "a\n\nb\r\r\nc\n\rd", "a\r\n\r\nb\r\n\r\nc\r\n\r\nd\r\n"},
                    RepairCase{"LeadingBreakKept", "\nx", "\r\nx\r\n"}),
    [](const testing::TestParamInfo<RepairCase>& info) { return info.param.name; });

// --- The bound ----------------------------------------------------------------------------------

struct BoundCase {
    const char* name;
    std::string stream;
    std::vector<std::string> lines;
    uint64_t cut;
};

constexpr size_t kSmallBound = 32;

class SyslogBound : public testing::TestWithParam<BoundCase> {};

TEST_P(SyslogBound, LongMessageIsCutAtTheBoundAndTheNextOneIsWhole)
{
    const BoundCase& c = GetParam();
    std::vector<size_t> everyByte;
    for (size_t at = 1; at < c.stream.size(); ++at)
        everyByte.push_back(at);
    EXPECT_EQ(FeedInReads(c.stream, everyByte, kSmallBound), c.lines); // also checks the held bytes
    SyslogStream whole(kSmallBound);
    std::vector<std::string> lines;
    whole.Feed(c.stream, lines);
    whole.Finish(lines);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(whole.CutMessages(), c.cut);
}

const std::string kLong(100, 'x');
const std::string kKept(kSmallBound, 'x');

INSTANTIATE_TEST_SUITE_P(
    Limits, SyslogBound,
    testing::Values(
        BoundCase{"ExactlyTheBoundIsWhole", "32 " + kKept + "\n", {kKept + "\r\n"}, 0},
        BoundCase{"OctetCountOverTheBound",
                  "100 " + kLong + "4 next",
                  {kKept + " [cut: 100 bytes in all]\r\n", "next\r\n"},
                  1},
        BoundCase{"LfLessRunOverTheBound", kLong + "\nnext\n", {kKept + " [cut: 100 bytes in all]\r\n", "next\r\n"}, 1},
        // Never half a character: the cut one goes whole.
        BoundCase{"CutInsideACharacter",
                  std::string(30, 'a') + "\xE6\x97\xA5\xE5\xBF\x97\n",
                  {std::string(30, 'a') + " [cut: 36 bytes in all]\r\n"},
                  1},
        BoundCase{
            "HugeCountHoldsOnlyTheBound", "999999999 " + kLong, {kKept + " [cut: 999999999 bytes in all]\r\n"}, 1}),
    [](const testing::TestParamInfo<BoundCase>& info) { return info.param.name; });

TEST(SyslogDatagram, OverTheBoundIsCutAndSaysItsLength)
{
    EXPECT_EQ(SyslogDatagramLine(kLong, kSmallBound), kKept + " [cut: 100 bytes in all]\r\n");
    EXPECT_EQ(SyslogDatagramLine(kKept, kSmallBound), kKept + "\r\n");
    EXPECT_EQ(SyslogDatagramLine(""), "");
}

} // namespace
