#include <gtest/gtest.h>

#include "testkit/console_texts.h"

#include <string>

#include "log/log_file.h"
#include "testkit/case_table.h"
#include "testkit/temp_dir.h"

namespace {

struct BytesCase {
    const char* name;
    CString text;
    std::string bytes;
    size_t replaced;
};

const BytesCase kBytesCases[] = {
    {"EmptyLog", L"", "", 0},
    {"StartedLine", L"日志服务启动成功，正在侦听...\r\n", std::string(kStartedLine936) + "\r\n", 0},
    {"CrLfStaysCrLf", L"a\r\nb\r\n", "a\r\nb\r\n", 0},
    {"LoneLfBecomesCrLf", L"a\nb\n", "a\r\nb\r\n", 0},
    {"LfFirstBecomesCrLf", L"\nx", "\r\nx", 0},
    {"LoneCrStays", L"a\rb\r", "a\rb\r", 0},
    {"CrBeforeCrLfStays", L"a\r\r\nb", "a\r\r\nb", 0},
    {"MixedBreaks", L"1\r\n2\n3\r4\n\n5\r\n\r\n", "1\r\n2\r\n3\r4\r\n\r\n5\r\n\r\n", 0},
    {"ChineseWithin936", L"中文日志，。！·", "\xd6\xd0\xce\xc4\xc8\xd5\xd6\xbe\xa3\xac\xa1\xa3\xa3\xa1\xa1\xa4", 0},
    {"EuroSignIn936", L"\u20ac", "\x80", 0},
    {"QuestionMarkOfTheTextIsNotCounted", L"ok?", "ok?", 0},
    {"HangulOutside936", L"日志한\n", "\xc8\xd5\xd6\xbe?\r\n", 1},
    {"ThaiOutside936", L"\u0e01\u0e02", "??", 2},
    {"LookAlikeIsNotSubstituted", L"\u00c0", "?", 1},
    {"SurrogatePairIsOneCharacter", L"a\U0001F600b", "a?b", 1},
    {"TwoSurrogatePairs", L"\U00020000\U0001F600", "??", 2},
    {"LoneSurrogate", CString(L"x") + wchar_t(0xD800) + L"y", "x?y", 1},
};

TEST(LogFileBytesTable, TextBecomesTheseBytes)
{
    ForEachCase(kBytesCases, [](const BytesCase& c) {
        const LogFileBytes file = EncodeLogFile(c.text);
        EXPECT_EQ(file.bytes, c.bytes);
        EXPECT_EQ(file.replaced, c.replaced);
    });
}

// Long text is converted in pieces: a character cut by a piece's edge, or missing in one piece,
// must come out as in short text.
TEST(LogFileBytes, SurrogatePairAcrossEveryPieceEdgeIsOneCharacter)
{
    for (size_t before : {65535u, 65534u, 131071u}) {
        const CString text = CString(before, L'a') + L"\U0001F600" + CString(70000, L'b');
        const LogFileBytes file = EncodeLogFile(text);
        EXPECT_EQ(file.replaced, 1u) << before;
        EXPECT_EQ(file.bytes, std::string(before, 'a') + "?" + std::string(70000, 'b')) << before;
    }
}

TEST(LogFileBytes, PiecesWithAndWithoutMissingCharactersKeepTheirOrder)
{
    CString text;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        text += L"第" + std::to_wstring(i) + L"行 log\n";
        expected += "\xb5\xda" + std::to_string(i) + "\xd0\xd0 log\r\n";
        if (i % 1000 == 999) {
            text += L"한\n";
            expected += "?\r\n";
        }
    }
    const LogFileBytes file = EncodeLogFile(text);
    EXPECT_EQ(file.replaced, 5u);
    EXPECT_EQ(file.bytes, expected);
}

// Reads back the bytes of a file written by WriteLogFile.
class LogFileWriting : public ::testing::Test {
protected:
    TempDir m_dir;
};

TEST_F(LogFileWriting, FiveMegabyteLogRoundTripsByteExact)
{
    CString text;
    while (text.size() < 4500000)
        text += L"2026-12-07 21:00:" + std::to_wstring(text.size() % 60) + L" 客户端连接成功 client=42 状态正常\r\n";
    const LogFileBytes file = EncodeLogFile(text);
    ASSERT_EQ(file.replaced, 0u);
    ASSERT_GE(file.bytes.size(), 5u * 1024 * 1024);

    const CString path = m_dir.File(L"big.txt");
    const LogFileWrite written = WriteLogFile(path, file.bytes);
    ASSERT_EQ(written.outcome, LogFileOutcome::Written);
    std::string read;
    ASSERT_TRUE(ReadFileBytes(path, read));
    EXPECT_TRUE(read == file.bytes) << "file holds " << read.size() << " bytes, expected " << file.bytes.size();

    // Read back as code page 936, the file is the text again.
    const int wideCount = ::MultiByteToWideChar(kLogFileCodePage, MB_ERR_INVALID_CHARS, read.data(),
                                                static_cast<int>(read.size()), nullptr, 0);
    CString decoded(static_cast<size_t>(wideCount), L'\0');
    ::MultiByteToWideChar(kLogFileCodePage, 0, read.data(), static_cast<int>(read.size()), decoded.data(), wideCount);
    EXPECT_TRUE(decoded == text);
}

TEST_F(LogFileWriting, EmptyLogMakesAnEmptyFile)
{
    const CString path = m_dir.File(L"empty.txt");
    EXPECT_EQ(WriteLogFile(path, "").outcome, LogFileOutcome::Written);
    std::string read = "x";
    ASSERT_TRUE(ReadFileBytes(path, read));
    EXPECT_EQ(read, "");
}

TEST_F(LogFileWriting, ExistingLongerFileIsReplacedWhole)
{
    const CString path = m_dir.File(L"old.txt");
    WriteFileBytes(path, std::string(10000, 'o'));
    EXPECT_EQ(WriteLogFile(path, "new\r\n").outcome, LogFileOutcome::Written);
    EXPECT_EQ(FileText(path), "new\r\n");
}

// Another program has the file open and shares it with nobody.
TEST_F(LogFileWriting, FileHeldByAnotherProgramIsNotOpenedAndKeepsItsContent)
{
    const CString path = m_dir.File(L"locked.txt");
    WriteFileBytes(path, "keep");
    UniqueHandle held(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const LogFileWrite written = WriteLogFile(path, "new");
    held.Reset();
    EXPECT_EQ(written.outcome, LogFileOutcome::OpenFailed);
    EXPECT_NE(written.error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(FileText(path), "keep");
}

TEST_F(LogFileWriting, PathsThatCannotBeOpenedCreateNothing)
{
    const CString missingDir = m_dir.File(L"no such folder\\log.txt");
    for (const CString& path : {missingDir, m_dir.Path(), CString(L"")}) {
        const LogFileWrite written = WriteLogFile(path, "bytes");
        EXPECT_EQ(written.outcome, LogFileOutcome::OpenFailed) << std::string(path.begin(), path.end());
        EXPECT_NE(written.error, DWORD(ERROR_SUCCESS));
    }
    EXPECT_FALSE(FileExists(missingDir));
}

TEST_F(LogFileWriting, FullDiskIsAWriteFailureNotSuccess)
{
    const CString full = FullDevice();
    if (full.empty())
        GTEST_SKIP() << "no full device here";
    const LogFileWrite written = WriteLogFile(full, std::string(3 * 1024 * 1024, 'x'));
    EXPECT_EQ(written.outcome, LogFileOutcome::WriteFailed);
    EXPECT_EQ(written.error, DWORD(ERROR_DISK_FULL));
}

} // namespace
