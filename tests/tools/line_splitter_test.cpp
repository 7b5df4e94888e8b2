// Lines split out of a stream however its reads cut it, in bytes and in UTF-16.
#include "follow/line_splitter.h"
#include "testkit/case_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zelsend;

namespace {

// Feeds `stream` in reads of `step` bytes (the last one shorter) and collects every line.
std::vector<std::string> SplitInSteps(const std::string& stream, size_t step, CodeUnit unit, size_t maxLine,
                                      std::string* rest = nullptr)
{
    LineSplitter splitter(maxLine, unit);
    std::vector<std::string> lines;
    std::string line;
    for (size_t at = 0; at < stream.size(); at += step) {
        splitter.Append(std::string_view(stream).substr(at, step));
        while (splitter.Next(line))
            lines.push_back(line);
    }
    if (rest)
        *rest = splitter.TakeRest();
    return lines;
}

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string out;
    for (char16_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

std::string Utf16Le(const std::u16string& text)
{
    return Utf16(text, false);
}

std::string Utf16Be(const std::u16string& text)
{
    return Utf16(text, true);
}

struct SplitCase {
    const char* name;
    CodeUnit unit;
    std::string stream;
    std::vector<std::string> lines;
    std::string rest; // the last line, still waiting for its end
    size_t maxLine = 1 << 20;
};

// Every cut of the stream, from one byte at a time to all at once, gives the same lines.
TEST(LineSplitting, SameLinesWhereverTheReadsCut)
{
    const SplitCase cases[] = {
        {"LfAndCrLf", CodeUnit::Byte, "one\r\ntwo\n\nfour\n", {"one", "two", "", "four"}, ""},
        {"LastLineWaits", CodeUnit::Byte, "done\nhalf a li", {"done"}, "half a li"},
        {"LoneCrStaysInTheLine", CodeUnit::Byte, "a\rb\n\r\n", {"a\rb", ""}, ""},
        {"CrAtTheEndWaitsForItsLf", CodeUnit::Byte, "x\r", {}, "x\r"},
        {"Gbk", CodeUnit::Byte, "\xC8\xD5\xD6\xBE\n\xB7\xFE\n", {"\xC8\xD5\xD6\xBE", "\xB7\xFE"}, ""},
        {"Utf16LeLines", CodeUnit::Utf16Le, Utf16Le(u"日志\r\nb\n"), {Utf16Le(u"日志"), Utf16Le(u"b")}, ""},
        // U+0A0D and U+0D0A hold the bytes of LF and CR, but are letters, not line ends.
        {"Utf16LeBytesOfLfInsideACharacter",
         CodeUnit::Utf16Le,
         Utf16Le(u"\u0A0D\u0D0Ax\n"),
         {Utf16Le(u"\u0A0D\u0D0Ax")},
         ""},
        {"Utf16BeLines", CodeUnit::Utf16Be, Utf16Be(u"\u0A00\r\nz\n"), {Utf16Be(u"\u0A00"), Utf16Be(u"z")}, ""},
        {"Utf16OddByteWaits", CodeUnit::Utf16Le, Utf16Le(u"a\n") + "b", {Utf16Le(u"a")}, "b"},
        {"OverlongLineInPieces", CodeUnit::Byte, "abcdefg\nhi\n", {"abc", "def", "g", "hi"}, "", 3},
        {"OverlongUtf16LineInWholeUnits",
         CodeUnit::Utf16Le,
         Utf16Le(u"abcde\n"),
         {Utf16Le(u"ab"), Utf16Le(u"cd"), Utf16Le(u"e")},
         "",
         4},
    };
    ForEachCase(cases, [](const SplitCase& c) {
        for (size_t step = 1; step <= c.stream.size(); ++step) {
            std::string rest;
            EXPECT_EQ(SplitInSteps(c.stream, step, c.unit, c.maxLine, &rest), c.lines) << "reads of " << step;
            EXPECT_EQ(rest, c.rest) << "reads of " << step;
        }
    });
}

// A long stream with lines taken as they come: nothing lost, nothing held on to.
TEST(LineSplitterStream, ManyLinesLeaveNothingBehind)
{
    std::string stream, expected;
    for (int i = 0; i < 5000; ++i)
        stream += "line " + std::to_string(i) + "\n";
    LineSplitter splitter(1 << 20);
    std::string line, got;
    for (size_t at = 0; at < stream.size(); at += 4093) {
        splitter.Append(std::string_view(stream).substr(at, 4093));
        while (splitter.Next(line))
            got += line + "\n";
        EXPECT_LT(splitter.Held(), 4093u + 16);
    }
    EXPECT_EQ(got, stream);
    EXPECT_EQ(splitter.Held(), 0u);
}

struct LastLineCase {
    const char* name;
    CodeUnit unit;
    std::string text;
    size_t start;
};

TEST(LastLineStartIs, JustAfterTheLastLineBreak)
{
    const LastLineCase cases[] = {
        {"HalfLine", CodeUnit::Byte, "a\nbc", 2},
        {"EndsWithBreak", CodeUnit::Byte, "a\nb\n", 4},
        {"NoBreak", CodeUnit::Byte, "abc", std::string::npos},
        {"Utf16Le", CodeUnit::Utf16Le, Utf16Le(u"a\nb"), 4},
        // The bytes 0A 00 across two characters are no line break.
        {"Utf16LeMisaligned", CodeUnit::Utf16Le, Utf16Le(u"\u0A00\u4100"), std::string::npos},
        {"Utf16Be", CodeUnit::Utf16Be, Utf16Be(u"x\ny\nz"), 8},
    };
    ForEachCase(cases, [](const LastLineCase& c) { EXPECT_EQ(LastLineStart(c.text, c.unit), c.start); });
}

// Starting over with another code unit forgets the half line of the old stream.
TEST(LineSplitterStream, ResetDropsWhatWasHeld)
{
    LineSplitter splitter(1 << 20);
    splitter.Append("old half");
    splitter.Reset(CodeUnit::Utf16Le);
    splitter.Append(Utf16Le(u"new\n"));
    std::string line;
    ASSERT_TRUE(splitter.Next(line));
    EXPECT_EQ(line, Utf16Le(u"new"));
    EXPECT_FALSE(splitter.Next(line));
}

} // namespace
