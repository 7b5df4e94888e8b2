// zelsend's frames (zel::LogClient's writer), line handling, bench payloads and their verifier.
#include "../../net/frame_splitter.h"
#include "bench_mode/bench_check.h"
#include "stdin/line_text.h"
#include "zel_log_client.h"
#include "common/options.h"
#include "port/text_decoder.h"
#include "zel_version.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace zelsend;
using namespace std::string_literals;

namespace {

// --- Frames --------------------------------------------------------------------------------

// zelsend frames with zel::LogClient's writer: every frame the console takes, and none that
// would cost the connection.
static_assert(zel::detail::kMaxPayload == static_cast<size_t>(CFrameSplitter::kMaxPayload),
              "zelsend's frame limit must be the console's");

std::string EncodeFrame(std::string_view text)
{
    std::string frame;
    zel::detail::AppendFrame(frame, text);
    return frame;
}

struct FrameCase {
    std::string text;
    std::string lengthBytes; // as they must appear on the wire
};

class ZelsendFrame : public testing::TestWithParam<FrameCase> {};

TEST_P(ZelsendFrame, LengthIsLittleEndianAndTextFollowsUnchanged)
{
    const FrameCase& c = GetParam();
    const std::string frame = EncodeFrame(c.text);
    ASSERT_EQ(frame.size(), 4 + c.text.size());
    EXPECT_EQ(frame.substr(0, 4), c.lengthBytes);
    EXPECT_EQ(frame.substr(4), c.text);

    // The bench batches frames by appending them to what is already there.
    std::string batch = "pre";
    zel::detail::AppendFrame(batch, c.text);
    EXPECT_EQ(batch, "pre" + frame);
}

INSTANTIATE_TEST_SUITE_P(Texts, ZelsendFrame,
                         testing::Values(FrameCase{"", "\0\0\0\0"s}, FrameCase{"hello", "\x05\0\0\0"s},
                                         FrameCase{"\xE6\x97\xA5\xE5\xBF\x97 ok\r\n",
                                                   "\x0B\0\0\0"s}, // UTF-8 counts bytes
                                         FrameCase{std::string(300, 'x'), "\x2C\x01\0\0"s},
                                         FrameCase{std::string(70000, 'y'), "\x70\x11\x01\0"s}));

struct LineCase {
    std::string line;
    bool crlf;
    std::string text;
};

class ZelsendLine : public testing::TestWithParam<LineCase> {};

TEST_P(ZelsendLine, LineBreakIsDroppedAndCrlfAddedOnRequest)
{
    EXPECT_EQ(LineToText(GetParam().line, GetParam().crlf), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Lines, ZelsendLine,
                         testing::Values(LineCase{"abc", false, "abc"}, LineCase{"abc\r", false, "abc"},
                                         LineCase{"abc\r\n", false, "abc"}, LineCase{"a\rb", false, "a\rb"},
                                         LineCase{"abc\r\r", false, "abc\r"}, LineCase{"", false, ""},
                                         LineCase{"abc\r", true, "abc\r\n"}, LineCase{"", true, "\r\n"}));

// --- Bench payloads --------------------------------------------------------------------------

class ZelsendPayload : public testing::TestWithParam<size_t> {};

TEST_P(ZelsendPayload, HasExactSizeHeaderAndLineEnd)
{
    const size_t size = GetParam();
    const std::string p = MakeBenchPayload(7, 123, size);
    ASSERT_EQ(p.size(), size);
    EXPECT_EQ(p.substr(0, 15), "c007 s00000123 ");
    EXPECT_EQ(p.substr(15, 8), "n" + std::string(6 - std::to_string(size).size(), '0') + std::to_string(size) + " ");
    EXPECT_EQ(p.substr(size - 2), "\r\n");
    for (size_t i = 0; i + 2 < size; ++i)
        EXPECT_TRUE(p[i] >= ' ' && p[i] <= '~') << "byte " << i;
}

TEST_P(ZelsendPayload, AllFramesOfARunVerify)
{
    std::string text;
    for (int64_t seq = 0; seq < 4; ++seq)
        for (int client = 0; client < 3; ++client)
            text += MakeBenchPayload(client, seq, GetParam());
    const BenchCheck check = VerifyBenchText(text, 3, 4);
    EXPECT_TRUE(check.Ok()) << check.Summary();
    EXPECT_EQ(check.framesSeen, (std::vector<int64_t>{4, 4, 4}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZelsendPayload, testing::Values(kBenchMinSize, 26, 64, 1000, kBenchMaxSize));

// The console's tests and the README show this frame; it must not drift.
TEST(ZelsendPayloadRules, DocumentedExampleIsExact)
{
    EXPECT_EQ(MakeBenchPayload(7, 123, 40), "c007 s00000123 n000040 nopqrstuvwxyzab\r\n");
}

TEST(ZelsendPayloadRules, OutOfRangeArgumentsAreRefused)
{
    EXPECT_THROW(MakeBenchPayload(-1, 0, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(kBenchMaxClients, 0, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, -1, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, kBenchMaxFrames, 40), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, 0, kBenchMinSize - 1), std::out_of_range);
    EXPECT_THROW(MakeBenchPayload(0, 0, kBenchMaxSize + 1), std::out_of_range);
    EXPECT_THROW(VerifyBenchText("", 0, 1), std::out_of_range);
}

// --- The verifier ----------------------------------------------------------------------------

std::string P(int client, int64_t seq)
{
    return MakeBenchPayload(client, seq, 48);
}

// Three clients of four frames each, round robin, as the console would show them.
std::string AllFrames()
{
    std::string text;
    for (int64_t seq = 0; seq < 4; ++seq)
        for (int client = 0; client < 3; ++client)
            text += P(client, seq);
    return text;
}

std::string Without(std::string text, const std::string& part)
{
    return text.erase(text.find(part), part.size());
}

struct VerifyCase {
    const char* name;
    std::function<std::string()> text;
    int64_t missing, duplicates, outOfOrder, corrupt, ignored;
};

class ZelsendVerify : public testing::TestWithParam<VerifyCase> {};

TEST_P(ZelsendVerify, CountsEachKindOfFault)
{
    const VerifyCase& c = GetParam();
    const BenchCheck check = VerifyBenchText(c.text(), 3, 4);
    EXPECT_EQ(check.missing, c.missing) << check.Summary();
    EXPECT_EQ(check.duplicates, c.duplicates) << check.Summary();
    EXPECT_EQ(check.outOfOrder, c.outOfOrder) << check.Summary();
    EXPECT_EQ(check.corrupt, c.corrupt) << check.Summary();
    EXPECT_EQ(check.ignored, c.ignored) << check.Summary();
    const bool faultless = c.missing + c.duplicates + c.outOfOrder + c.corrupt == 0;
    EXPECT_EQ(check.Ok(), faultless);
    EXPECT_EQ(check.notes.empty(), faultless);
}

std::string Corrupt(size_t at, char to)
{
    std::string text = AllFrames();
    text[at] = to;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ZelsendVerify,
    testing::Values(VerifyCase{"RoundRobin", AllFrames, 0, 0, 0, 0, 0},
                    VerifyCase{"ClientAfterClient",
                               [] {
                                   std::string t;
                                   for (int client : {2, 0, 1})
                                       for (int64_t seq = 0; seq < 4; ++seq)
                                           t += P(client, seq);
                                   return t;
                               },
                               0, 0, 0, 0, 0},
                    VerifyCase{"StatusLinesBetween",
                               [] {
                                   return "[12:00:01] 127.0.0.1:50000 connected\r\n\r\nc00x s1 not ours\r\n" + P(0, 0) +
                                          "c001 s0000000 short id\r\n" + Without(AllFrames(), P(0, 0)) + "closed";
                               },
                               0, 0, 0, 0, 5},
                    VerifyCase{"Empty", [] { return std::string(); }, 12, 0, 0, 0, 0},
                    VerifyCase{"OneMissing", [] { return Without(AllFrames(), P(1, 2)); }, 1, 0, 0, 0, 0},
                    VerifyCase{"Duplicate", [] { return AllFrames() + P(2, 3); }, 0, 1, 0, 0, 0},
                    VerifyCase{"Swapped",
                               [] {
                                   std::string t = AllFrames();
                                   const size_t first = t.find(P(0, 0)), second = t.find(P(0, 1));
                                   return t.replace(first, 48, P(0, 1)).replace(second, 48, P(0, 0));
                               },
                               0, 0, 1, 0, 0},
                    VerifyCase{"OneClientLate", [] { return Without(AllFrames(), P(1, 0)) + P(1, 0); }, 0, 0, 1, 0, 0},
                    VerifyCase{"FillerByteChanged", [] { return Corrupt(48 * 5 + 30, '#'); }, 1, 0, 0, 1, 0},
                    VerifyCase{"HeaderSizeChanged", [] { return Corrupt(48 * 5 + 21, '9'); }, 1, 0, 0, 1, 0},
                    VerifyCase{"CrChanged", [] { return Corrupt(48 * 5 + 46, 'x'); }, 1, 0, 0, 1, 0},
                    VerifyCase{"LineEndLost", [] { return Corrupt(48 * 5 + 47, 'x'); }, 2, 0, 0, 1, 0},
                    VerifyCase{"CutIntoNextFrame",
                               [] {
                                   const std::string cut = P(1, 1);
                                   std::string t = AllFrames();
                                   return t.erase(t.find(cut) + 30, 18);
                               },
                               2, 0, 0, 1, 0},
                    VerifyCase{"LastFrameCut",
                               [] {
                                   std::string t = AllFrames();
                                   t.resize(t.size() - 1);
                                   return t;
                               },
                               1, 0, 0, 1, 0},
                    VerifyCase{"ForeignClient", [] { return AllFrames() + MakeBenchPayload(3, 0, 48); }, 0, 0, 0, 1, 0},
                    VerifyCase{"FrameBeyondCount", [] { return AllFrames() + P(0, 4); }, 0, 0, 0, 1, 0},
                    VerifyCase{"FillerOfAnotherFrame",
                               [] {
                                   std::string t = AllFrames();
                                   const std::string a = P(0, 0), b = P(0, 1);
                                   return t.replace(t.find(a), 48, a.substr(0, 23) + b.substr(23));
                               },
                               1, 0, 0, 1, 0}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return info.param.name; });

} // namespace
