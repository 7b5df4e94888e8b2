// Closing the real console while a client sends: the client sees its connection end, and the
// port stop listening, while the console's process still runs. A connection left open until
// the process ends takes the client's lines into a console that no longer reads them.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdio>
#include <string>
#include <thread>

#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/test_client.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"

namespace {

constexpr DWORD kLimitMs = 180000;

// The view's last line of text: the one before the empty line that its last CR LF starts.
std::wstring LastLine(const CConsoleProcess& console)
{
    HWND view = console.Control(IDC_LOG_VIEW);
    DWORD_PTR lines = 0;
    if (!::SendMessageTimeoutW(view, EM_GETLINECOUNT, 0, 0, SMTO_ABORTIFHUNG, 10000, &lines) || lines < 2)
        return L"";
    wchar_t line[256] = {};
    *reinterpret_cast<WORD*>(line) = 255; // EM_GETLINE reads the room it has from the buffer
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(view, EM_GETLINE, lines - 2, reinterpret_cast<LPARAM>(line), SMTO_ABORTIFHUNG, 10000,
                          &copied);
    return std::wstring(line, copied);
}

// Sends a mebibyte of lines and waits until the last of them shows: a view that has logged a
// while, whose teardown is not free.
bool FillView(const CConsoleProcess& console)
{
    TestClient filler;
    if (filler.Connect() != 0)
        return false;
    std::string lines;
    for (int i = 0; lines.size() < (1u << 20); ++i) {
        char line[112];
        std::snprintf(line, sizeof line, "fill %06d %s\r\n", i, std::string(88, 'a' + i % 26).c_str());
        lines += line;
    }
    if (!filler.Send(Frame(lines)))
        return false;
    if (!filler.Send(Frame("filled\r\n")))
        return false;
    // A console that ended meanwhile will never show it: no need to wait out the limit.
    bool filled = false;
    WaitUntil([&] { return (filled = LastLine(console) == L"filled") || console.WaitForExit(0); }, kLimitMs,
              [] { ::Sleep(500); });
    return filled;
}

// What a client that sends a line every 20 ms saw when the console closed.
struct SeenAtTheEnd {
    bool connectionEnded = false;
    bool portRefused = false; // a connect right after the end was refused
    bool consoleRan = false;  // and then the console's process was still running
};

// Sends "tick N" lines every 20 ms until the connection ends, then tries the port once and
// looks whether the console's process still runs. Blocks until the end or the limit.
SeenAtTheEnd TickUntilTheEnd(TestClient& client, HANDLE console, HANDLE started)
{
    SeenAtTheEnd seen;
    client.SetSendLimit(10000);
    const Deadline deadline(kLimitMs);
    for (int tick = 0; deadline.Left() > 0; ++tick) {
        if (tick == 5)
            ::SetEvent(started);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client.Handle(), &readable);
        timeval wait = {0, 20000};
        // The console never sends: anything to read is the end (0, or an error for a reset).
        const bool ended = ::select(0, &readable, nullptr, nullptr, &wait) == 1 ||
                           !client.Send(Frame("tick " + std::to_string(tick) + "\r\n"));
        if (!ended)
            continue;
        seen.connectionEnded = true;
        TestClient probe;
        seen.portRefused = probe.Connect(5000) == WSAECONNREFUSED;
        seen.consoleRan = ::WaitForSingleObject(console, 0) == WAIT_TIMEOUT;
        break;
    }
    return seen;
}

// Escape, as the operator closes the console, in the window that has the focus.
void PressEscape(const CConsoleProcess& console)
{
    HWND focus = console.Control(IDC_LOCAL_ADDRESS);
    ::PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    ::PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0);
}

TEST(ConsoleClose, EscapeWithALargeViewEndsTheClientsAndThePortBeforeTheProcess)
{
    CConsoleProcess console;
    ASSERT_EQ(console.StartWithService(), nullptr);
    ASSERT_TRUE(FillView(console)) << (console.WaitForExit(0) ? "the console ended before its view filled"
                                                              : "the view did not fill");

    TestClient client;
    ASSERT_EQ(client.Connect(), 0);
    const UniqueHandle ticking(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SeenAtTheEnd seen;
    std::thread ticker([&] { seen = TickUntilTheEnd(client, console.Process(), ticking.Get()); });
    const bool ticks = ::WaitForSingleObject(ticking.Get(), kLimitMs) == WAIT_OBJECT_0;
    PressEscape(console);
    ticker.join();
    ASSERT_TRUE(ticks);

    DWORD exitCode = 1;
    EXPECT_TRUE(console.WaitForExit(kLimitMs, &exitCode)) << "Escape did not end the console";
    EXPECT_EQ(exitCode, 0u);
    ASSERT_TRUE(seen.connectionEnded);
    EXPECT_TRUE(seen.portRefused) << "the port still listened after the client's connection ended";
    EXPECT_TRUE(seen.consoleRan) << "the client's connection ended only with the console's process";
}

} // namespace
