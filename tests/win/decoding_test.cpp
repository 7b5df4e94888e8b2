#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <tuple>

#include "log/log_pipe.h"
#include "net/payload_decoder.h"

namespace {

struct DecodeCase {
    const char* name;
    std::string payload;
    std::wstring expected;
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, PayloadBecomesTheTextTheViewShows)
{
    ASSERT_EQ(::GetACP(), 936u) << "these cases assume the Simplified Chinese code page";
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodePayload(c.payload.c_str()), c.expected);
}

const DecodeCase kCases[] = {
    {"Ascii", "hello, world\r\n", L"hello, world\r\n"},
    {"ChineseWithin936", "\xE6\x97\xA5\xE5\xBF\x97\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x90\xAF\xE5\x8A\xA8", L"日志服务启动"},
    {"MixedWithLineBreaks",
     "a\xE4\xB8\xAD"
     "b\r\n",
     L"a中b\r\n"},
    {"LoneContinuationByteEmptiesAll", "ok \x80 ok", L""},
    {"TruncatedSequenceInsideEmptiesAll",
     "ab\xE6\x97"
     "cd",
     L""},
    {"EndsMidSequence", "abc\xE6\x97", L""},
    {"OverlongEncodingEmptiesAll", "\xC0\xAF", L""},
    {"TextEndsAtFirstZeroByte", std::string("ab\0cd", 5), L"ab"},
    {"Empty", "", L""},
};

INSTANTIATE_TEST_SUITE_P(Cases, Decoding, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(Decoding, CharacterThatTheCodePageLacksBecomesItsDefaultCharacter)
{
    // U+0E01 (Thai) is not in code page 936 and has no best fit there.
    const std::wstring got = DecodePayload("x\xE0\xB8\x81y");
    EXPECT_EQ(got, L"x?y");
}

TEST(Decoding, CharacterOutsideTheBasicPlaneBecomesDefaultCharacters)
{
    // U+1F600, a surrogate pair in UTF-16: 936 holds neither half.
    const std::wstring got = DecodePayload("<\xF0\x9F\x98\x80>");
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.front(), L'<');
    EXPECT_EQ(got.back(), L'>');
    EXPECT_EQ(got.find_first_not_of(L'?', 1), got.size() - 1) << "only default characters in between";
}

TEST(Decoding, LongPayloadComesThroughWhole)
{
    std::string payload;
    std::wstring expected;
    for (int i = 0; i < 20000; ++i) {
        payload += "\xE4\xB8\xAD"
                   "x";
        expected += L"中x";
    }
    EXPECT_EQ(DecodePayload(payload.c_str()), expected);
}

// A large payload is decoded a piece at a time. Whatever the piece size, the text is the one the
// whole payload gives: characters cut between pieces would show as default characters (two for a
// surrogate pair), and an invalid sequence in any piece must still leave nothing to show.
struct PiecesCase {
    const char* name;
    std::string payload;
    std::wstring expected;
};

class DecodingInPieces : public ::testing::TestWithParam<std::tuple<PiecesCase, size_t>> {};

CString DecodeInPieces(const std::string& payload, size_t pieceBytes, int* steps = nullptr)
{
    CPayloadDecoder decoder(payload.data(), payload.size(), pieceBytes);
    int count = 1;
    while (!decoder.Step())
        ++count;
    if (steps)
        *steps = count;
    return decoder.Take();
}

TEST_P(DecodingInPieces, TextIsWhatTheWholePayloadGives)
{
    ASSERT_EQ(::GetACP(), 936u) << "these cases assume the Simplified Chinese code page";
    const PiecesCase& c = std::get<0>(GetParam());
    const size_t piece = std::get<1>(GetParam());
    EXPECT_EQ(DecodeInPieces(c.payload, piece), c.expected);
    EXPECT_EQ(DecodePayload(c.payload.c_str()), c.expected) << "the whole payload at once";
}

const char kSmile[] = "\xF0\x9F\x98\x80"; // U+1F600: a surrogate pair, which code page 936 lacks

// Every ASCII character but zero around one Chinese character: pieces of ASCII alone take the
// short way, a piece with the Chinese character takes the code page's round trip, and so does
// the whole payload; all must give the same text.
template <class Text>
Text AllAsciiAround(const Text& middle)
{
    Text ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii += static_cast<typename Text::value_type>(c);
    return ascii + middle + ascii;
}

const PiecesCase kPiecesCases[] = {
    {"ChineseAcrossPieces",
     "ab\xE6\x97\xA5\xE5\xBF\x97\xE6\x9C\x8D\xE5\x8A\xA1"
     "cd",
     L"ab日志服务cd"},
    // Its four bytes cut apart would be invalid and empty everything; whole, each half of the pair
    // becomes a default character, as in the whole payload.
    {"SurrogatePairAcrossPiecesStaysWhole", std::string("<") + kSmile + ">" + kSmile, L"<?\?>?\?"},
    {"TwoByteSequencesAcrossPieces", "x\xC3\xA9\xC3\xA9\xC3\xA9y", L"x\x00E9\x00E9\x00E9y"},
    // A piece that starts with a byte order mark keeps it (936 lacks it: a default character).
    {"ByteOrderMarkAtAPieceStartStays",
     "a\xEF\xBB\xBF"
     "b",
     L"a?b"},
    {"InvalidInTheFirstPieceEmptiesAll",
     "\x80"
     "abcdefghijklmnopqrstuvwxyz",
     L""},
    {"InvalidInTheLastPieceEmptiesAll", "abcdefghijklmnopqrstuvwxyz\xE6\x97", L""},
    {"OverlongInTheMiddleEmptiesAll", "abcdefghijklm\xC0\xAFnopqrstuvwxyz", L""},
    {"TextEndsAtAZeroByteInALaterPiece", std::string("abcdefghij\0klmnop", 17), L"abcdefghij"},
    {"AsciiTheShortWayIsTheRoundTripsText", AllAsciiAround<std::string>("\xE4\xB8\xAD"),
     AllAsciiAround<std::wstring>(L"中")},
    {"AsciiWithControlCharacters", "\x01\x1F\t\r\n~\x7F", L"\x0001\x001F\t\r\n~\x007F"},
};

INSTANTIATE_TEST_SUITE_P(Cases, DecodingInPieces,
                         ::testing::Combine(::testing::ValuesIn(kPiecesCases), ::testing::Values(1u, 2u, 3u, 5u, 64u)),
                         [](const ::testing::TestParamInfo<std::tuple<PiecesCase, size_t>>& info) {
                             return std::string(std::get<0>(info.param).name) + "_Pieces" +
                                    std::to_string(std::get<1>(info.param));
                         });

// The connection decodes payloads over kPieceBytes a piece per step of the window: a large one
// takes as many steps as it has pieces, and the text is whole at the end.
TEST(DecodingInPieces, LargePayloadTakesOneStepPerPiece)
{
    std::string payload;
    std::wstring expected;
    while (payload.size() < 4 * CPayloadDecoder::kPieceBytes) {
        payload += "\xE4\xB8\xAD"
                   "0123456789\r\n";
        expected += L"中0123456789\r\n";
    }
    int steps = 0;
    EXPECT_EQ(DecodeInPieces(payload, CPayloadDecoder::kPieceBytes, &steps), expected);
    EXPECT_GE(steps, 4);
    EXPECT_LE(steps, 5);
}

// A save needs the whole text of a frame still being decoded, as it will be, and must not change
// what the decoding goes on to give.
TEST(DecodingInPieces, WholeTextMidwayIsTheFinalTextAndChangesNothing)
{
    const std::string payload = std::string("start ") + kSmile + " \xE6\x97\xA5\xE5\xBF\x97 end";
    CPayloadDecoder decoder(payload.data(), payload.size(), 4);
    ASSERT_FALSE(decoder.Step());
    ASSERT_FALSE(decoder.Step());
    EXPECT_EQ(decoder.Whole(), L"start ?? 日志 end");
    EXPECT_EQ(decoder.Take(), L"start ?? 日志 end");

    const std::string invalid = "fine so far \xFF";
    CPayloadDecoder bad(invalid.data(), invalid.size(), 4);
    ASSERT_FALSE(bad.Step());
    EXPECT_EQ(bad.Whole(), L"");
    EXPECT_EQ(bad.Take(), L"");
}

// In the pipe a frame being decoded keeps its place: text offered before it shows before it, text
// offered after it waits behind it, and an invalid one leaves nothing between them.
TEST(DecodingInPieces, FrameBeingDecodedKeepsItsPlaceInThePipe)
{
    struct {
        std::string payload;
        std::wstring between;
    } const cases[] = {{"\xE4\xB8\xAD\xE6\x96\x87 text\r\n", L"中文 text\r\n"}, {"bad \xE4\xB8 text\r\n", L""}};
    for (const auto& c : cases) {
        CLogPipe pipe;
        pipe.Offer(L"before\r\n");
        pipe.Offer(std::make_unique<CPayloadDecoder>(c.payload.data(), c.payload.size(), 3));
        pipe.Offer(L"after\r\n");
        EXPECT_EQ(pipe.WaitingText(), L"before\r\n" + c.between + L"after\r\n");
        CString shown;
        int makingSteps = 0;
        while (!pipe.Empty()) {
            if (pipe.MakingFirst()) {
                pipe.MakeStep();
                ++makingSteps;
                continue;
            }
            const CString slice = pipe.TakeSlice(SIZE_MAX);
            ASSERT_FALSE(slice.empty()) << "nothing to show although text waits";
            shown += slice;
        }
        EXPECT_EQ(shown, L"before\r\n" + c.between + L"after\r\n");
        EXPECT_GT(makingSteps, 1);
        EXPECT_EQ(pipe.HeldBytes(), 0u) << "the decoding's memory was given back";
    }
}

// While a large frame is decoded its bytes, and the text made so far, still count: readers wait
// at the high-water mark as they would for the decoded text, and go on once the view took it.
TEST(DecodingInPieces, FrameBeingDecodedCountsAgainstTheBudgetAndTheHighWaterMark)
{
    const std::string payload(2 * CPendingLog::kHighWater, 'x');
    CLogPipe pipe;
    pipe.Offer(std::make_unique<CPayloadDecoder>(payload.data(), payload.size()));
    EXPECT_EQ(pipe.State(), CLogPipe::Flow::Held);
    EXPECT_GE(pipe.HeldBytes(), payload.size());
    pipe.MakeStep();
    EXPECT_GE(pipe.HeldBytes(), payload.size() + 2 * CPayloadDecoder::kPieceBytes) << "bytes and text so far";
    size_t shown = 0;
    while (!pipe.Empty()) {
        if (pipe.MakingFirst())
            pipe.MakeStep();
        else
            shown += pipe.TakeSlice(SIZE_MAX).size();
    }
    EXPECT_EQ(shown, payload.size());
    EXPECT_EQ(pipe.State(), CLogPipe::Flow::Open);
    EXPECT_EQ(pipe.HeldBytes(), 0u);
}

} // namespace
