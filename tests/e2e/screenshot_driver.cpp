// Sets the console up for scripts/screenshot.sh: starts the real program, starts its log service,
// sends it a few log lines as a client would, and moves the window to a known place. Then it
// writes the window's rectangle to <ready-file> and keeps everything as it is until <done-file>
// exists, so that the screen can be captured; then it closes the console.
//   screenshot_driver <ready-file> <done-file>      (Windows paths)
#include <winsock2.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/test_client.h"
#include "testkit/wire_text.h"

namespace {

const char* const kLines[] = {
    u8"[09:30:01] 订单服务已启动，版本 2.4.1\r\n",       u8"[09:30:02] GET /api/orders?page=1 200 (12 ms)\r\n",
    u8"[09:30:02] 用户 zhang.san 登录成功\r\n",          u8"[09:30:05] WARN cache miss ratio 0.31\r\n",
    u8"[09:30:07] 支付回调完成：订单 20240107-0042\r\n",
};

int Fail(const char* what)
{
    std::fprintf(stderr, "screenshot_driver: %s\n", what);
    return 1;
}

bool Exists(const wchar_t* path)
{
    return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return Fail("usage: screenshot_driver <ready-file> <done-file>");
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return Fail("no sockets");

    CConsoleProcess console;
    if (const char* failed = console.StartWithService())
        return Fail(failed);

    TestClient client;
    if (client.Connect() != 0)
        return Fail("cannot connect to the console");
    for (const char* line : kLines) {
        if (!client.Send(Frame(line)))
            return Fail("send failed");
    }
    if (!console.WaitForText(IDC_LOG_VIEW,
                             [](const std::wstring& t) { return t.find(L"20240107-0042") != std::wstring::npos; }))
        return Fail("the log lines did not show");

    ::SetWindowPos(console.Window(), HWND_TOP, 24, 24, 0, 0, SWP_NOSIZE);
    ::SetForegroundWindow(console.Window());
    // With no window manager the Wine desktop never holds the X input focus, so Wine draws every
    // caption as inactive; draw the console's as the operator sees it.
    ::SendMessageW(console.Window(), WM_NCACTIVATE, TRUE, 0);
    ::Sleep(500); // let the frame and caption repaint
    RECT rect;
    ::GetWindowRect(console.Window(), &rect);

    FILE* ready = _wfopen(argv[1], L"w");
    if (!ready)
        return Fail("cannot write the ready file");
    std::fprintf(ready, "%ld %ld %ld %ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    std::fclose(ready);

    for (int waited = 0; !Exists(argv[2]) && waited < 120000; waited += 100)
        ::Sleep(100);
    client.Close();
    ::PostMessageW(console.Window(), WM_CLOSE, 0, 0);
    console.WaitForExit(10000);
    ::WSACleanup();
    return 0;
}
