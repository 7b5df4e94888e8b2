#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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

} // namespace
