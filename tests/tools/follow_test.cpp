// What --follow decides on its own, without files: what happened to the file (rotation,
// truncation), and the text of its lines (BOM, code page, UTF-8 repair, lines across reads).
#include "follow/file_change.h"
#include "follow/follow_decoder.h"
#include "common/unicode_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;

namespace {

// --- Rotation and truncation -----------------------------------------------------------------

FileState Held(uint64_t id, uint64_t size, bool deleting = false)
{
    return FileState{true, id, size, deleting};
}
const FileState kNone{};

struct ChangeCase {
    const char* name;
    FileState held, atPath;
    uint64_t readTo;
    FileChange change;
};

class FollowFileChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(FollowFileChange, IsDetectedFromTwoLooks)
{
    const ChangeCase& c = GetParam();
    EXPECT_EQ(DetectFileChange(c.held, c.atPath, c.readTo), c.change);
}

INSTANTIATE_TEST_SUITE_P(
    Looks, FollowFileChange,
    testing::Values(ChangeCase{"Unchanged", Held(7, 100), Held(7, 100), 100, FileChange::None},
                    ChangeCase{"Appended", Held(7, 150), Held(7, 150), 100, FileChange::Grown},
                    ChangeCase{"TruncatedToNothing", Held(7, 0), Held(7, 0), 100, FileChange::Truncated},
                    ChangeCase{"TruncatedAndWrittenAgain", Held(7, 30), Held(7, 30), 100, FileChange::Truncated},
                    // Renamed away and a new file made: the rest of the old one goes first.
                    ChangeCase{"RenamedWithTheRestUnread", Held(7, 150), Held(8, 10), 100, FileChange::Grown},
                    ChangeCase{"RenamedAndReadToItsEnd", Held(7, 150), Held(8, 10), 150, FileChange::Replaced},
                    ChangeCase{"RenamedNewFileEmptyYet", Held(7, 150), Held(8, 0), 150, FileChange::Replaced},
                    ChangeCase{"RenamedNoNewFileYet", Held(7, 150), kNone, 150, FileChange::None},
                    ChangeCase{"DeletedWithTheRestUnread", Held(7, 150, true), kNone, 120, FileChange::Grown},
                    ChangeCase{"DeletedAndReadToItsEnd", Held(7, 150, true), kNone, 150, FileChange::Released},
                    ChangeCase{"NotThereYet", kNone, kNone, 0, FileChange::None},
                    ChangeCase{"CreatedAtLast", kNone, Held(9, 0), 0, FileChange::Appeared}),
    [](const testing::TestParamInfo<ChangeCase>& info) { return info.param.name; });

// --- The text of a followed file ---------------------------------------------------------------

struct DetectCase {
    const char* name;
    std::string head;
    bool decided;
    TextKind kind;
    size_t bomBytes;
};

class FollowTextDetection : public testing::TestWithParam<DetectCase> {};

TEST_P(FollowTextDetection, BomDecidesTheText)
{
    const DetectCase& c = GetParam();
    const DetectedText d = DetectText(c.head);
    EXPECT_EQ(d.decided, c.decided);
    if (c.decided) {
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.bomBytes, c.bomBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Heads, FollowTextDetection,
                         testing::Values(DetectCase{"Utf16Le", "\xFF\xFEh\0", true, TextKind::Utf16Le, 2},
                                         DetectCase{"Utf16Be", "\xFE\xFF\0h", true, TextKind::Utf16Be, 2},
                                         DetectCase{"Utf8Bom", "\xEF\xBB\xBFx", true, TextKind::Utf8, 3},
                                         DetectCase{"PlainText", "ab", true, TextKind::Utf8, 0},
                                         DetectCase{"StartOfUtf8Bom", "\xEF\xBB", false, TextKind::Utf8, 0},
                                         DetectCase{"StartOfUtf16Bom", "\xFF", false, TextKind::Utf8, 0},
                                         DetectCase{"Empty", "", false, TextKind::Utf8, 0},
                                         DetectCase{"NotABomAfterAll", "\xEF\x41", true, TextKind::Utf8, 0}),
                         [](const testing::TestParamInfo<DetectCase>& info) { return info.param.name; });

struct DecodeFileCase {
    const char* name;
    unsigned codePage; // 0: as the file says
    std::string bytes; // the file from its start
    std::vector<std::string> lines;
};

class FollowDecoding : public testing::TestWithParam<DecodeFileCase> {};

// Read from the file's start in every size of read, the same UTF-8 lines come out.
TEST_P(FollowDecoding, LinesBecomeUtf8WhereverTheReadsCut)
{
    const DecodeFileCase& c = GetParam();
    for (size_t step = 1; step <= c.bytes.size(); ++step) {
        FollowDecoder decoder;
        std::string error;
        ASSERT_TRUE(decoder.Open(c.codePage, error)) << error;
        std::vector<std::string> lines;
        for (size_t at = 0; at < c.bytes.size(); at += step)
            decoder.Feed(std::string_view(c.bytes).substr(at, step), lines);
        EXPECT_EQ(lines, c.lines) << "reads of " << step;
    }
}

const std::string kLog = "\xE6\x97\xA5\xE5\xBF\x97"; // 日志 in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Files, FollowDecoding,
    testing::Values(DecodeFileCase{"Utf8", 0, kLog + " a\r\nb\npartial", {kLog + " a", "b"}},
                    DecodeFileCase{"Utf8BomIsNoText", 0, "\xEF\xBB\xBFx\n", {"x"}},
                    DecodeFileCase{"InvalidUtf8Repaired", 0, "ok \xFF\xC8\n", {"ok \xEF\xBF\xBD\xEF\xBF\xBD"}},
                    DecodeFileCase{
                        "Utf16LeAfterBom", 0, std::string("\xFF\xFE\xE5\x65\xD7\x5F\r\0\n\0y\0\n\0", 14), {kLog, "y"}},
                    DecodeFileCase{"Utf16BeAfterBom", 0, std::string("\xFE\xFF\x65\xE5\x5F\xD7\0\n", 8), {kLog}},
                    DecodeFileCase{"CodePage936", 936, "\xC8\xD5\xD6\xBE\r\n", {kLog}},
                    DecodeFileCase{"CodePageMakesNoGuess", 1252, "\xFF\xFEz\n", {"\xC3\xBF\xC3\xBEz"}},
                    DecodeFileCase{"CodePage65001SkipsItsBom", 65001, "\xEF\xBB\xBFu\n", {"u"}}),
    [](const testing::TestParamInfo<DecodeFileCase>& info) { return info.param.name; });

// Following from a file's end still reads it as its BOM says.
TEST(FollowDecoderStart, AtTheEndTheHeadDecidesTheText)
{
    FollowDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(0, error));
    decoder.StartAtEnd("\xFF\xFE"
                       "a\0");
    std::vector<std::string> lines;
    decoder.Feed(std::string("\xE5\x65\n\0", 4), lines);
    EXPECT_EQ(lines, std::vector<std::string>{"\xE6\x97\xA5"});
}

// After rotation or truncation the line cut off goes out as it is, and the new file's own BOM
// decides its text.
TEST(FollowDecoderStart, RestartHandsOutTheCutLineAndDecidesAgain)
{
    FollowDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(0, error));
    std::vector<std::string> lines;
    decoder.Feed("old\nno end", lines);
    decoder.Restart(lines);
    decoder.Feed(std::string("\xFF\xFEn\0\n\0", 6), lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"old", "no end", "n"}));
}

TEST(FollowDecoderStart, UnknownCodePageIsRefused)
{
    FollowDecoder decoder;
    std::string error;
    EXPECT_FALSE(decoder.Open(12345, error));
    EXPECT_NE(error.find("12345"), std::string::npos) << error;
}

// --- UTF-8 the console takes -------------------------------------------------------------------

// The one repair of every bridge: followed files, debug output and syslog messages.
struct RepairCase {
    const char* name;
    std::string in, out;
};

class Utf8Repair : public testing::TestWithParam<RepairCase> {};

TEST_P(Utf8Repair, InvalidBecomesReplacementAndValidStays)
{
    EXPECT_EQ(RepairUtf8(GetParam().in), GetParam().out);
}

const std::string R = "\xEF\xBF\xBD"; // U+FFFD

INSTANTIATE_TEST_SUITE_P(Bytes, Utf8Repair,
                         testing::Values(RepairCase{"Valid", "a" + kLog + "\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
                                                    "a" + kLog + "\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
                                         RepairCase{"LoneContinuations", "a\x80\xBFz", "a" + R + R + "z"},
                                         RepairCase{"Latin1ByteIsOneMark", "caf\xE9 ok", "caf" + R + " ok"},
                                         RepairCase{"Gbk936PairIsTwoMarks", "\xC8\xD5", R + R},
                                         RepairCase{"CutSequenceIsOneMark", "a\xE6\x97z", "a" + R + "z"},
                                         RepairCase{"CutSequenceAtTheEndIsOneMark", "a\xF0\x9F\x98", "a" + R},
                                         RepairCase{"Overlong", "\xC0\xAF\xE0\x80\xAF", R + R + R + R + R},
                                         RepairCase{"Surrogate", "\xED\xA0\x80", R + R + R},
                                         RepairCase{"PastTheLastCodePoint", "\xF4\x90\x80\x80\xF5", R + R + R + R + R},
                                         // The console would end the text at a zero byte.
                                         RepairCase{"ZeroByteIsAMark", std::string("a\0b", 3), "a" + R + "b"},
                                         RepairCase{"ZeroByteAfterLeadByte", std::string("\xE6\0x", 3), R + R + "x"}),
                         [](const testing::TestParamInfo<RepairCase>& info) { return info.param.name; });

TEST(Utf16Conversion, PairsUnpairedSurrogatesAndOddBytes)
{
    EXPECT_EQ(Utf16ToUtf8(std::string("\x3D\xD8\x00\xDE", 4), false), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToUtf8(std::string("\x3D\xD8"
                                      "a\0",
                                      4),
                          false),
              R + "a");
    EXPECT_EQ(Utf16ToUtf8(std::string("\x00\xDE", 2), false), R);
    EXPECT_EQ(Utf16ToUtf8(std::string("a\0b", 3), false), "a" + R);
    EXPECT_EQ(Utf16ToUtf8(std::string("\0\0a\0", 4), false), R + "a");
}

} // namespace
