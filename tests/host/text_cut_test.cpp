#include <gtest/gtest.h>

#include <string>

#include "log/text_cut.h"

namespace {

struct CutCase {
    const char* name;
    std::wstring text;
    size_t at;
    size_t expected;
};

class TextCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(TextCut, KeepsCharactersAndLineBreaksWhole)
{
    EXPECT_EQ(SafeCut(GetParam().text, GetParam().at), GetParam().expected);
}

const wchar_t kEmoji[] = L"\xD83D\xDE00"; // one character, two UTF-16 units

INSTANTIATE_TEST_SUITE_P(
    TextCut, TextCut,
    ::testing::Values(CutCase{"PlainTextCutsWhereAsked", L"abcdef", 3, 3},
                      CutCase{"NotInsideASurrogatePair", std::wstring(L"ab") + kEmoji + L"cd", 3, 2},
                      CutCase{"BeforeAPairIsFine", std::wstring(L"ab") + kEmoji + L"cd", 2, 2},
                      CutCase{"AfterAPairIsFine", std::wstring(L"ab") + kEmoji + L"cd", 4, 4},
                      CutCase{"NotBetweenCrAndLf", L"ab\r\ncd", 3, 2}, CutCase{"AfterCrLfIsFine", L"ab\r\ncd", 4, 4},
                      CutCase{"ALoneCrMaySplit", L"ab\rcd", 3, 3},
                      CutCase{"PairAtTheStartMovesForward", std::wstring(kEmoji) + L"abc", 1, 2},
                      CutCase{"CrLfAtTheStartMovesForward", L"\r\nabc", 1, 2},
                      CutCase{"PastTheEndIsTheEnd", L"abc", 10, 3}, CutCase{"ZeroStaysZero", L"abc", 0, 0}),
    [](const ::testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST(TextCut, EveryCutOfAMixedTextLeavesBothHalvesWhole)
{
    std::wstring text;
    for (int i = 0; i < 50; ++i)
        text += std::wstring(L"x") + kEmoji + L"\r\n" + L"中";
    for (size_t at = 1; at < text.size(); ++at) {
        const size_t cut = SafeCut(text, at);
        ASSERT_GT(cut, 0u);
        ASSERT_LE(cut > at ? cut - at : at - cut, 1u) << "moved more than one unit from " << at;
        const wchar_t before = text[cut - 1];
        EXPECT_FALSE(before >= 0xD800 && before <= 0xDBFF) << "a high surrogate left alone at " << cut;
        EXPECT_FALSE(before == L'\r' && text[cut] == L'\n') << "CR and LF split at " << cut;
    }
}

} // namespace
