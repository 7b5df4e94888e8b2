// What --follow decides on its own, without files: what happened to the file (rotation,
// truncation), and the text of its lines (BOM, code page, UTF-8 repair, lines across reads).
#include "follow/file_change.h"
#include "follow/follow_decoder.h"
#include "common/unicode_text.h"
#include "decoder_checks.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;

namespace {

// --- Rotation and truncation -----------------------------------------------------------------

FileState File(uint64_t id, uint64_t size = 0)
{
    return FileState{true, id, size};
}
// What a look that opens nothing finds on Windows: a size, and no id.
FileState Peeked(uint64_t size)
{
    return FileState{true, 0, size};
}
const FileState kNone{};

struct ChangeCase {
    const char* name;
    FileState followed;
    uint64_t readTo;
    FileState atPath;
    FileChange change;
};

TEST(FollowFileChange, IsToldByTheFilesId)
{
    const ChangeCase cases[] = {
        {"Unchanged", File(7), 100, File(7, 100), FileChange::None},
        {"Appended", File(7), 100, File(7, 150), FileChange::Grown},
        {"TruncatedToNothing", File(7), 100, File(7, 0), FileChange::Truncated},
        {"TruncatedAndWrittenAgain", File(7), 100, File(7, 30), FileChange::Truncated},
        // Renamed away (or deleted) and a new file made: the rest of the old one goes first.
        {"RotatedNewFileShorter", File(7), 100, File(8, 10), FileChange::Replaced},
        {"RotatedNewFileEmptyYet", File(7), 100, File(8, 0), FileChange::Replaced},
        {"RotatedNewFileAsLongAsTheOld", File(7), 100, File(8, 100), FileChange::Replaced},
        {"RotatedNewFileLonger", File(7), 100, File(8, 150), FileChange::Replaced},
        {"RotatedOrDeletedNoNewFileYet", File(7), 100, kNone, FileChange::Gone},
        {"NotThereYet", kNone, 0, kNone, FileChange::None},
        {"CreatedAtLast", kNone, 0, File(9, 0), FileChange::Appeared},
        // Without an open, Windows tells the size only: a change of it takes an open to explain.
        {"PeekedSameSize", File(7), 100, Peeked(100), FileChange::None},
        {"PeekedLonger", File(7), 100, Peeked(150), FileChange::Unsure},
        {"PeekedShorter", File(7), 100, Peeked(10), FileChange::Unsure},
        {"PeekedAtLast", kNone, 0, Peeked(0), FileChange::Appeared},
    };
    ForEachCase(cases,
                [](const ChangeCase& c) { EXPECT_EQ(DetectFileChange(c.followed, c.readTo, c.atPath), c.change); });
}

// --- The text of a followed file ---------------------------------------------------------------

struct DetectCase {
    const char* name;
    std::string head;
    TextKind kind;
    size_t bomBytes;
};

TEST(FollowTextDetection, BomDecidesTheText)
{
    const DetectCase cases[] = {
        {"Utf16Le", "\xFF\xFEh\0", TextKind::Utf16Le, 2},   {"Utf16Be", "\xFE\xFF\0h", TextKind::Utf16Be, 2},
        {"Utf8Bom", "\xEF\xBB\xBFx", TextKind::Utf8, 3},    {"PlainText", "ab", TextKind::Utf8, 0},
        {"NotABomAfterAll", "\xEF\x41", TextKind::Utf8, 0},
    };
    ForEachCase(cases, [](const DetectCase& c) {
        const DetectedText d = DetectText(c.head);
        ASSERT_TRUE(d.decided);
        EXPECT_EQ(d.kind, c.kind);
        EXPECT_EQ(d.bomBytes, c.bomBytes);
    });
}

// The start of a UTF-8 or UTF-16 BOM, or nothing yet: the text waits for more of the file.
TEST(FollowTextDetection, StartOfABomDecidesNothingYet)
{
    for (const std::string head : {"\xEF\xBB", "\xFF", ""})
        EXPECT_FALSE(DetectText(head).decided) << testing::PrintToString(head);
}

struct DecodeFileCase {
    const char* name;
    unsigned codePage; // 0: as the file says
    std::string bytes; // the file from its start
    std::vector<std::string> lines;
};

const std::string kLog = "\xE6\x97\xA5\xE5\xBF\x97"; // 日志 in UTF-8

// Read from the file's start in every size of read, the same UTF-8 lines come out.
TEST(FollowDecoding, LinesBecomeUtf8WhereverTheReadsCut)
{
    const DecodeFileCase cases[] = {
        {"Utf8", 0, kLog + " a\r\nb\npartial", {kLog + " a", "b"}},
        {"Utf8BomIsNoText", 0, "\xEF\xBB\xBFx\n", {"x"}},
        {"InvalidUtf8Repaired", 0, "ok \xFF\xC8\n", {"ok \xEF\xBF\xBD\xEF\xBF\xBD"}},
        {"Utf16LeAfterBom", 0, std::string("\xFF\xFE\xE5\x65\xD7\x5F\r\0\n\0y\0\n\0", 14), {kLog, "y"}},
        {"Utf16BeAfterBom", 0, std::string("\xFE\xFF\x65\xE5\x5F\xD7\0\n", 8), {kLog}},
        {"CodePage936", 936, "\xC8\xD5\xD6\xBE\r\n", {kLog}},
        {"CodePageMakesNoGuess", 1252, "\xFF\xFEz\n", {"\xC3\xBF\xC3\xBEz"}},
        {"CodePage65001SkipsItsBom", 65001, "\xEF\xBB\xBFu\n", {"u"}},
    };
    ForEachCase(cases, [](const DecodeFileCase& c) {
        for (size_t step = 1; step <= c.bytes.size(); ++step) {
            FollowDecoder decoder;
            ASSERT_EQ(OpenRefusal(decoder, c.codePage), "");
            std::vector<std::string> lines;
            for (size_t at = 0; at < c.bytes.size(); at += step)
                decoder.Feed(std::string_view(c.bytes).substr(at, step), lines);
            EXPECT_EQ(lines, c.lines) << "reads of " << step;
        }
    });
}

// Following from a file's end still reads it as its BOM says.
TEST(FollowDecoderStart, AtTheEndTheHeadDecidesTheText)
{
    FollowDecoder decoder;
    ASSERT_EQ(OpenRefusal(decoder, 0), "");
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
    ASSERT_EQ(OpenRefusal(decoder, 0), "");
    std::vector<std::string> lines;
    decoder.Feed("old\nno end", lines);
    decoder.Restart(lines);
    decoder.Feed(std::string("\xFF\xFEn\0\n\0", 6), lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"old", "no end", "n"}));
}

TEST(FollowDecoderStart, UnknownCodePageIsRefused)
{
    FollowDecoder decoder;
    EXPECT_TRUE(RefusesCodePage(decoder, 12345));
}

// --- UTF-8 the console takes -------------------------------------------------------------------

// The one repair of every bridge: followed files, debug output and syslog messages.
struct RepairCase {
    const char* name;
    std::string in, out;
};

const std::string R = "\xEF\xBF\xBD"; // U+FFFD

TEST(Utf8Repair, InvalidBecomesReplacementAndValidStays)
{
    const RepairCase cases[] = {
        {"Valid", "a" + kLog + "\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
         "a" + kLog + "\xC3\xA9 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
        {"LoneContinuations", "a\x80\xBFz", "a" + R + R + "z"},
        {"Latin1ByteIsOneMark", "caf\xE9 ok", "caf" + R + " ok"},
        {"Gbk936PairIsTwoMarks", "\xC8\xD5", R + R},
        {"CutSequenceIsOneMark", "a\xE6\x97z", "a" + R + "z"},
        {"CutSequenceAtTheEndIsOneMark", "a\xF0\x9F\x98", "a" + R},
        {"Overlong", "\xC0\xAF\xE0\x80\xAF", R + R + R + R + R},
        {"Surrogate", "\xED\xA0\x80", R + R + R},
        {"PastTheLastCodePoint", "\xF4\x90\x80\x80\xF5", R + R + R + R + R},
        // The console would end the text at a zero byte.
        {"ZeroByteIsAMark", std::string("a\0b", 3), "a" + R + "b"},
        {"ZeroByteAfterLeadByte", std::string("\xE6\0x", 3), R + R + "x"},
    };
    ForEachCase(cases, [](const RepairCase& c) { EXPECT_EQ(RepairUtf8(c.in), c.out); });
}

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
