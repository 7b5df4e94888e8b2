// zelsend.exe under Wine as a Windows user runs it: piped lines in the system's code page (936
// here) reach the real console as the same Chinese text, and a frame over the console's 16 MiB
// limit is refused before any byte of it leaves.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <thread>

#include "testkit/case_table.h"
#include "testkit/child_process.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/test_client.h"

namespace {

constexpr size_t kLimit = 16 * 1024 * 1024;

// Runs zelsend.exe with `input` on a pipe as its standard input, as `type log.txt | zelsend`, to
// the test's console unless the arguments name another port.
ChildRun RunZelsend(const std::wstring& arguments, const std::string& input)
{
    return RunChild(L"\"" + CConsoleProcess::WindowsPath(ZELSEND_EXE) + L"\" --port " + std::to_wstring(ConsolePort()) +
                        L" " + arguments,
                    input, true, 60000);
}

// --- Conversion, against the real console -------------------------------------------------

struct ConversionCase {
    const char* name;
    std::wstring arguments;
    std::string input;
    std::wstring shown; // what the console adds to its view
};

// 日志 (log) and 服务 (service) in code page 936 and in UTF-8.
const std::string kLog936 = "\xC8\xD5\xD6\xBE", kService936 = "\xB7\xFE\xCE\xF1";
const std::string kLogUtf8 = "\xE6\x97\xA5\xE5\xBF\x97";

const ConversionCase kConversions[] = {
    {"PipedSystemCodePage", L"--crlf", kLog936 + " one\r\n" + kService936 + " two\n", L"日志 one\r\n服务 two\r\n"},
    {"PipedNamedCodePage", L"--input-codepage 936", kLog936 + "\r\n", L"日志"},
    {"PipedUtf8AsItIs", L"--crlf --utf8", kLogUtf8 + " utf8\n", L"日志 utf8\r\n"},
    {"PipedUtf8CodePage", L"--crlf --input-codepage 65001", kLogUtf8 + "\n", L"日志\r\n"},
    {"ArgumentsAreUtf8Already", L"--crlf 日志 \"服务 ok\"", "", L"日志\r\n服务 ok\r\n"},
};

TEST(ZelsendE2E, StdinLinesShowAsTheSameChineseText)
{
    ForEachCaseOnItsOwnConsole(kConversions, Service::Started,
                               [](const ConversionCase& c, const CConsoleProcess& console) {
                                   const ChildRun run = RunZelsend(c.arguments, c.input);
                                   EXPECT_EQ(run.exitCode, 0u) << run.output;
                                   EXPECT_TRUE(ViewShows(console, kStarted + c.shown));
                               });
}

// --- The frame limit, against a listener that counts every byte -----------------------------

class ByteCounter {
public:
    ByteCounter() : m_listener(LoopbackListener(m_port))
    {
        if (!m_listener)
            ADD_FAILURE() << "no loopback listener";
        m_reader = std::thread([this] {
            // A zelsend that never connects must not leave the reader, and the test joining
            // it, waiting in accept for good.
            if (!m_listener || !Connecting(m_listener.Get(), 60))
                return;
            const UniqueSocket client(::accept(m_listener.Get(), nullptr, nullptr));
            char buffer[65536];
            int n = 0;
            while (client && (n = ::recv(client.Get(), buffer, sizeof buffer, 0)) > 0)
                m_received += static_cast<size_t>(n);
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
        m_listener.Reset();
        return m_received;
    }

private:
    // True when a connection waits on the listener within the limit.
    static bool Connecting(SOCKET listener, long limitSeconds)
    {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval limit{limitSeconds, 0};
        return ::select(0, &ready, nullptr, nullptr, &limit) == 1;
    }

    uint16_t m_port = 0; // before the listener, which sets it
    UniqueSocket m_listener;
    size_t m_received = 0;
    std::thread m_reader;
};

struct LimitCase {
    const char* name;
    size_t lineBytes; // letters before the line break; --crlf adds two bytes to the frame
    DWORD exitCode;
    size_t received;
};

const LimitCase kLimits[] = {
    {"ExactlySixteenMebibytes", kLimit - 2, 0, 4 + kLimit},
    {"OneByteMore", kLimit - 1, 2, 0},
};

TEST(ZelsendLimitE2E, FrameOverSixteenMebibytesIsRefusedAndNothingOfItSent)
{
    ForEachCase(kLimits, [](const LimitCase& c) {
        ByteCounter counter;
        const ChildRun run =
            RunZelsend(L"--crlf --port " + std::to_wstring(counter.Port()), std::string(c.lineBytes, 'x') + "\n");
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_EQ(counter.Received(), c.received);
        if (c.exitCode == 2) {
            EXPECT_NE(run.output.find("16 MiB"), std::string::npos) << run.output;
        }
    });
}

} // namespace
