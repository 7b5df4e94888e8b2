#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "log/text_cut.h"
#include "testkit/case_table.h"

namespace {

// A mixed text for cutting everywhere: `piece` over and over.
template <class Text>
Text Repeated(const Text& piece, int times)
{
    Text text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

struct CutCase {
    const char* name;
    std::wstring text;
    size_t at;
    size_t expected;
};

const wchar_t kEmoji[] = L"\xD83D\xDE00"; // one character, two UTF-16 units

TEST(TextCut, KeepsCharactersAndLineBreaksWhole)
{
    const CutCase cases[] = {
        {"PlainTextCutsWhereAsked", L"abcdef", 3, 3},
        {"NotInsideASurrogatePair", std::wstring(L"ab") + kEmoji + L"cd", 3, 2},
        {"BeforeAPairIsFine", std::wstring(L"ab") + kEmoji + L"cd", 2, 2},
        {"AfterAPairIsFine", std::wstring(L"ab") + kEmoji + L"cd", 4, 4},
        {"NotBetweenCrAndLf", L"ab\r\ncd", 3, 2},
        {"AfterCrLfIsFine", L"ab\r\ncd", 4, 4},
        {"ALoneCrMaySplit", L"ab\rcd", 3, 3},
        {"PairAtTheStartMovesForward", std::wstring(kEmoji) + L"abc", 1, 2},
        {"CrLfAtTheStartMovesForward", L"\r\nabc", 1, 2},
        {"PastTheEndIsTheEnd", L"abc", 10, 3},
        {"ZeroStaysZero", L"abc", 0, 0},
    };
    ForEachCase(cases, [](const CutCase& c) { EXPECT_EQ(SafeCut(c.text, c.at), c.expected); });
}

TEST(TextCut, EveryCutOfAMixedTextLeavesBothHalvesWhole)
{
    const std::wstring text = Repeated(std::wstring(L"x") + kEmoji + L"\r\n" + L"中", 50);
    for (size_t at = 1; at < text.size(); ++at) {
        const size_t cut = SafeCut(text, at);
        ASSERT_GT(cut, 0u);
        ASSERT_LE(cut > at ? cut - at : at - cut, 1u) << "moved more than one unit from " << at;
        const wchar_t before = text[cut - 1];
        EXPECT_FALSE(before >= 0xD800 && before <= 0xDBFF) << "a high surrogate left alone at " << cut;
        EXPECT_FALSE(before == L'\r' && text[cut] == L'\n') << "CR and LF split at " << cut;
    }
}

// A frame's UTF-8 payload is decoded a piece at a time: a piece must end between characters.
struct Utf8CutCase {
    const char* name;
    std::string bytes;
    size_t at;
    size_t expected;
};

const char kZhong[] = "\xE4\xB8\xAD";        // 中: three bytes
const char kGrinning[] = "\xF0\x9F\x98\x80"; // U+1F600: four bytes, a surrogate pair in UTF-16
const char kFourContinuations[] = "\x80\x80\x80\x80";

TEST(Utf8PieceCut, KeepsSequencesWhole)
{
    const Utf8CutCase cases[] = {
        {"AsciiCutsWhereAsked", "abcdef", 3, 3},
        {"BeforeAThreeByteSequence", std::string("ab") + kZhong + "c", 2, 2},
        {"InsideAThreeByteSequenceGoesToItsStart", std::string("ab") + kZhong + "c", 3, 2},
        {"AtItsLastByteGoesToItsStart", std::string("ab") + kZhong + "c", 4, 2},
        {"AfterAThreeByteSequence", std::string("ab") + kZhong + "c", 5, 5},
        {"SurrogatePairsFourBytesStayTogether", std::string("a") + kGrinning + "b", 4, 1},
        {"FourByteSequenceAfterItsFirstByte", std::string("a") + kGrinning + "b", 2, 1},
        {"SequenceAtTheVeryStartGoesToItsEnd", std::string(kZhong) + "x", 1, 3},
        {"FourByteSequenceAtTheStartGoesToItsEnd", std::string(kGrinning) + "x", 2, 4},
        {"TruncatedSequenceAtTheEndGoesToTheEnd", "\xE4\xB8", 1, 2},
        {"RunOfContinuationBytesIsCutWhereAsked", std::string("ab") + kFourContinuations + "c", 5, 5},
        {"LoneContinuationBytesAtTheStartAreCutWhereAsked", "\x80\x80z", 1, 1},
        {"PastTheEndIsTheEnd", "abc", 10, 3},
        {"ZeroStaysZero", "abc", 0, 0},
    };
    ForEachCase(cases, [](const Utf8CutCase& c) { EXPECT_EQ(Utf8Cut(c.bytes, c.at), c.expected); });
}

// Cut into pieces of every size from 1 to 9 bytes, a mixed text comes apart only between its
// characters: each piece starts with a byte that starts a character, and the pieces add up to
// the whole.
TEST(Utf8PieceCut, EveryPieceSizeCutsOnlyBetweenCharacters)
{
    const std::string text = Repeated(std::string("x") + kZhong + kGrinning + "\r\n" + "\xC3\xA9", 40); // é: two bytes
    for (size_t piece = 1; piece <= 9; ++piece) {
        std::string joined;
        size_t pieces = 0;
        for (size_t done = 0; done < text.size(); ++pieces) {
            const std::string_view rest(text.data() + done, text.size() - done);
            const size_t cut = Utf8Cut(rest, piece);
            ASSERT_GT(cut, 0u) << "an empty piece at " << done << ", pieces of " << piece;
            ASSERT_LE(cut, std::max<size_t>(piece, 4)) << "a piece longer than asked or one character";
            if (cut < rest.size()) {
                const unsigned char next = static_cast<unsigned char>(rest[cut]);
                ASSERT_NE(next & 0xC0, 0x80) << "a character split at " << done + cut << ", pieces of " << piece;
            }
            joined.append(rest.substr(0, cut));
            done += cut;
        }
        EXPECT_EQ(joined, text);
        EXPECT_GE(pieces, text.size() / std::max<size_t>(piece, 4));
    }
}

} // namespace
