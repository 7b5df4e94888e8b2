// zelsend's frames (zel::LogClient's writer), line handling, bench payloads and their verifier.
#include "../../net/frame_splitter.h"
#include "bench_mode/bench_check.h"
#include "stdin/line_text.h"
#include "zel_log_client.h"
#include "common/options.h"
#include "port/text_decoder.h"
#include "zel_version.h"
#include "testkit/case_table.h"

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

TEST(ZelsendFrame, LengthIsLittleEndianAndTextFollowsUnchanged)
{
    const FrameCase cases[] = {
        {"", "\0\0\0\0"s},
        {"hello", "\x05\0\0\0"s},
        {"\xE6\x97\xA5\xE5\xBF\x97 ok\r\n", "\x0B\0\0\0"s}, // UTF-8 counts bytes
        {std::string(300, 'x'), "\x2C\x01\0\0"s},
        {std::string(70000, 'y'), "\x70\x11\x01\0"s},
    };
    ForEachCase(cases, [](const FrameCase& c) {
        const std::string frame = EncodeFrame(c.text);
        ASSERT_EQ(frame.size(), 4 + c.text.size());
        EXPECT_EQ(frame.substr(0, 4), c.lengthBytes);
        EXPECT_EQ(frame.substr(4), c.text);

        // The bench batches frames by appending them to what is already there.
        std::string batch = "pre";
        zel::detail::AppendFrame(batch, c.text);
        EXPECT_EQ(batch, "pre" + frame);
    });
}

struct LineCase {
    std::string line;
    bool crlf;
    std::string text;
};

TEST(ZelsendLine, LineBreakIsDroppedAndCrlfAddedOnRequest)
{
    const LineCase cases[] = {
        {"abc", false, "abc"},       {"abc\r", false, "abc"}, {"abc\r\n", false, "abc"},  {"a\rb", false, "a\rb"},
        {"abc\r\r", false, "abc\r"}, {"", false, ""},         {"abc\r", true, "abc\r\n"}, {"", true, "\r\n"},
    };
    ForEachCase(cases, [](const LineCase& c) { EXPECT_EQ(LineToText(c.line, c.crlf), c.text); });
}

// --- Bench payloads --------------------------------------------------------------------------

// The least and the most a bench payload can hold, and sizes between.
const size_t kPayloadSizes[] = {kBenchMinSize, 26, 64, 1000, kBenchMaxSize};

// Three clients of four frames each, round robin, as the console would show them.
std::string AllFrames(size_t size = 48)
{
    std::string text;
    for (int64_t seq = 0; seq < 4; ++seq)
        for (int client = 0; client < 3; ++client)
            text += MakeBenchPayload(client, seq, size);
    return text;
}

TEST(ZelsendPayload, HasExactSizeHeaderAndLineEnd)
{
    ForEachCase(kPayloadSizes, [](size_t size) {
        const std::string p = MakeBenchPayload(7, 123, size);
        ASSERT_EQ(p.size(), size);
        EXPECT_EQ(p.substr(0, 15), "c007 s00000123 ");
        EXPECT_EQ(p.substr(15, 8),
                  "n" + std::string(6 - std::to_string(size).size(), '0') + std::to_string(size) + " ");
        EXPECT_EQ(p.substr(size - 2), "\r\n");
        for (size_t i = 0; i + 2 < size; ++i)
            EXPECT_TRUE(p[i] >= ' ' && p[i] <= '~') << "byte " << i;
    });
}

TEST(ZelsendPayload, AllFramesOfARunVerify)
{
    ForEachCase(kPayloadSizes, [](size_t size) {
        const BenchCheck check = VerifyBenchText(AllFrames(size), 3, 4);
        EXPECT_TRUE(check.Ok()) << check.Summary();
        EXPECT_EQ(check.framesSeen, (std::vector<int64_t>{4, 4, 4}));
    });
}

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

// Client `client`'s frame `seq`, as AllFrames holds it.
std::string P(int client, int64_t seq)
{
    return MakeBenchPayload(client, seq, 48);
}

std::string Without(std::string text, const std::string& part)
{
    return text.erase(text.find(part), part.size());
}

std::string Corrupt(size_t at, char to)
{
    std::string text = AllFrames();
    text[at] = to;
    return text;
}

struct VerifyCase {
    const char* name;
    std::function<std::string()> text;
    int64_t missing, duplicates, outOfOrder, corrupt, ignored;
};

TEST(ZelsendVerify, CountsEachKindOfFault)
{
    const VerifyCase cases[] = {
        {"RoundRobin", [] { return AllFrames(); }, 0, 0, 0, 0, 0},
        {"ClientAfterClient",
         [] {
             std::string t;
             for (int client : {2, 0, 1})
                 for (int64_t seq = 0; seq < 4; ++seq)
                     t += P(client, seq);
             return t;
         },
         0, 0, 0, 0, 0},
        {"StatusLinesBetween",
         [] {
             return "[12:00:01] 127.0.0.1:50000 connected\r\n\r\nc00x s1 not ours\r\n" + P(0, 0) +
                    "c001 s0000000 short id\r\n" + Without(AllFrames(), P(0, 0)) + "closed";
         },
         0, 0, 0, 0, 5},
        {"Empty", [] { return std::string(); }, 12, 0, 0, 0, 0},
        {"OneMissing", [] { return Without(AllFrames(), P(1, 2)); }, 1, 0, 0, 0, 0},
        {"Duplicate", [] { return AllFrames() + P(2, 3); }, 0, 1, 0, 0, 0},
        {"Swapped",
         [] {
             std::string t = AllFrames();
             const size_t first = t.find(P(0, 0)), second = t.find(P(0, 1));
             return t.replace(first, 48, P(0, 1)).replace(second, 48, P(0, 0));
         },
         0, 0, 1, 0, 0},
        {"OneClientLate", [] { return Without(AllFrames(), P(1, 0)) + P(1, 0); }, 0, 0, 1, 0, 0},
        {"FillerByteChanged", [] { return Corrupt(48 * 5 + 30, '#'); }, 1, 0, 0, 1, 0},
        {"HeaderSizeChanged", [] { return Corrupt(48 * 5 + 21, '9'); }, 1, 0, 0, 1, 0},
        {"CrChanged", [] { return Corrupt(48 * 5 + 46, 'x'); }, 1, 0, 0, 1, 0},
        {"LineEndLost", [] { return Corrupt(48 * 5 + 47, 'x'); }, 2, 0, 0, 1, 0},
        {"CutIntoNextFrame",
         [] {
             const std::string cut = P(1, 1);
             std::string t = AllFrames();
             return t.erase(t.find(cut) + 30, 18);
         },
         2, 0, 0, 1, 0},
        {"LastFrameCut",
         [] {
             std::string t = AllFrames();
             t.resize(t.size() - 1);
             return t;
         },
         1, 0, 0, 1, 0},
        {"ForeignClient", [] { return AllFrames() + MakeBenchPayload(3, 0, 48); }, 0, 0, 0, 1, 0},
        {"FrameBeyondCount", [] { return AllFrames() + P(0, 4); }, 0, 0, 0, 1, 0},
        {"FillerOfAnotherFrame",
         [] {
             std::string t = AllFrames();
             const std::string a = P(0, 0), b = P(0, 1);
             return t.replace(t.find(a), 48, a.substr(0, 23) + b.substr(23));
         },
         1, 0, 0, 1, 0},
    };
    ForEachCase(cases, [](const VerifyCase& c) {
        const BenchCheck check = VerifyBenchText(c.text(), 3, 4);
        EXPECT_EQ(check.missing, c.missing) << check.Summary();
        EXPECT_EQ(check.duplicates, c.duplicates) << check.Summary();
        EXPECT_EQ(check.outOfOrder, c.outOfOrder) << check.Summary();
        EXPECT_EQ(check.corrupt, c.corrupt) << check.Summary();
        EXPECT_EQ(check.ignored, c.ignored) << check.Summary();
        const bool faultless = c.missing + c.duplicates + c.outOfOrder + c.corrupt == 0;
        EXPECT_EQ(check.Ok(), faultless);
        EXPECT_EQ(check.notes.empty(), faultless);
    });
}

} // namespace
