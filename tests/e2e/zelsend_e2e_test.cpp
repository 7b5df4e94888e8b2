// zelsend.exe under Wine as a Windows user runs it: piped lines in the system's code page (936
// here) reach the real console as the same Chinese text, and a frame over the console's 16 MiB
// limit is refused before any byte of it leaves.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <thread>

#include "console_process.h"
#include "res/resource.h"
#include "tests/common/wire_text.h"

namespace {

const wchar_t kStarted[] = L"日志服务启动成功，正在侦听...\r\n";
constexpr size_t kLimit = 16 * 1024 * 1024;

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and standard error together
};

std::wstring ZelsendPath()
{
    std::wstring windows = L"Z:";
    for (const char c : std::string(ZELSEND_EXE))
        windows.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return windows;
}

// Runs zelsend.exe with `input` on a pipe as its standard input, as `type log.txt | zelsend`.
RunResult RunZelsend(const std::wstring& arguments, const std::string& input)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    RunResult result;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0) || !::CreatePipe(&outRead, &outWrite, &inherit, 0))
        return result;
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    std::wstring commandLine = L"\"" + ZelsendPath() + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    const bool started =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(inRead);
    ::CloseHandle(outWrite);
    if (!started) {
        ::CloseHandle(inWrite);
        ::CloseHandle(outRead);
        return result;
    }
    // zelsend may stop reading early (a refused line): the writer then just gives up.
    std::thread writer([&] {
        for (size_t at = 0; at < input.size();) {
            DWORD wrote = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(input.size() - at, 1 << 20));
            if (!::WriteFile(inWrite, input.data() + at, chunk, &wrote, nullptr))
                break;
            at += wrote;
        }
        ::CloseHandle(inWrite);
    });
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(outRead, buffer, sizeof buffer, &got, nullptr) && got > 0)
        result.output.append(buffer, got);
    writer.join();
    ::CloseHandle(outRead);
    if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return result;
}

// --- Conversion, against the real console -------------------------------------------------

struct ConversionCase {
    const char* name;
    std::wstring arguments;
    std::string input;
    std::wstring shown; // what the console adds to its view
};

class ZelsendE2E : public testing::TestWithParam<ConversionCase> {};

TEST_P(ZelsendE2E, StdinLinesShowAsTheSameChineseText)
{
    const ConversionCase& c = GetParam();
    CConsoleProcess console;
    ASSERT_TRUE(console.Start());
    console.Click(IDC_SERVICE_BUTTON);
    ASSERT_TRUE(console.WaitForText(IDC_SERVICE_BUTTON, [](const std::wstring& t) { return t == L"关闭"; }));

    const RunResult run = RunZelsend(c.arguments, c.input);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::wstring expected = kStarted + c.shown;
    EXPECT_TRUE(console.WaitForText(IDC_LOG_VIEW, [&](const std::wstring& t) { return t == expected; }))
        << ToUtf8(console.Text(IDC_LOG_VIEW));
}

// 日志 (log) and 服务 (service) in code page 936 and in UTF-8.
const std::string kLog936 = "\xC8\xD5\xD6\xBE", kService936 = "\xB7\xFE\xCE\xF1";
const std::string kLogUtf8 = "\xE6\x97\xA5\xE5\xBF\x97";

INSTANTIATE_TEST_SUITE_P(
    Conversions, ZelsendE2E,
    testing::Values(ConversionCase{"PipedSystemCodePage", L"--crlf", kLog936 + " one\r\n" + kService936 + " two\n",
                                   L"日志 one\r\n服务 two\r\n"},
                    ConversionCase{"PipedNamedCodePage", L"--input-codepage 936", kLog936 + "\r\n", L"日志"},
                    ConversionCase{"PipedUtf8AsItIs", L"--crlf --utf8", kLogUtf8 + " utf8\n", L"日志 utf8\r\n"},
                    ConversionCase{"PipedUtf8CodePage", L"--crlf --input-codepage 65001", kLogUtf8 + "\n", L"日志\r\n"},
                    ConversionCase{"ArgumentsAreUtf8Already", L"--crlf 日志 \"服务 ok\"", "", L"日志\r\n服务 ok\r\n"}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

// --- The frame limit, against a listener that counts every byte -----------------------------

class ByteCounter {
public:
    ByteCounter()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&at), size) != 0 || ::listen(m_listener, 1) != 0)
            ADD_FAILURE() << "no loopback listener";
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&at), &size);
        m_port = ::ntohs(at.sin_port);
        m_reader = std::thread([this] {
            const SOCKET client = ::accept(m_listener, nullptr, nullptr);
            char buffer[65536];
            int n = 0;
            while (client != INVALID_SOCKET && (n = ::recv(client, buffer, sizeof buffer, 0)) > 0)
                m_received += static_cast<size_t>(n);
            ::closesocket(client);
        });
    }
    ~ByteCounter() { Received(); }
    ByteCounter(const ByteCounter&) = delete;
    ByteCounter& operator=(const ByteCounter&) = delete;

    int Port() const { return m_port; }
    // Waits for the client to hang up, then counts what it sent.
    size_t Received()
    {
        if (m_reader.joinable())
            m_reader.join();
        ::closesocket(m_listener);
        return m_received;
    }

private:
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    size_t m_received = 0;
    std::thread m_reader;
};

struct LimitCase {
    const char* name;
    size_t lineBytes; // letters before the line break; --crlf adds two bytes to the frame
    DWORD exitCode;
    size_t received;
};

class ZelsendLimitE2E : public testing::TestWithParam<LimitCase> {};

TEST_P(ZelsendLimitE2E, FrameOverSixteenMebibytesIsRefusedAndNothingOfItSent)
{
    const LimitCase& c = GetParam();
    ByteCounter counter;
    const RunResult run =
        RunZelsend(L"--crlf --port " + std::to_wstring(counter.Port()), std::string(c.lineBytes, 'x') + "\n");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_EQ(counter.Received(), c.received);
    if (c.exitCode == 2) {
        EXPECT_NE(run.output.find("16 MiB"), std::string::npos) << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZelsendLimitE2E,
                         testing::Values(LimitCase{"ExactlySixteenMebibytes", kLimit - 2, 0, 4 + kLimit},
                                         LimitCase{"OneByteMore", kLimit - 1, 2, 0}),
                         [](const testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

} // namespace
