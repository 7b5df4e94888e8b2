// The console window of the real program, seen and driven from another process: what it shows
// after start-up, the ways it ends, the About box from its system menu, and the start-up
// failure when the sockets library cannot be started.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/test_client.h"
#include "testkit/wait.h"
#include "testkit/window_probe.h"

namespace {

constexpr DWORD kLimitMs = 15000;
constexpr const wchar_t* kAboutTitle = L"关于 ZelLogConsole";

// The window that has the keyboard focus in the thread that runs a window.
HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

// The console's focused control. A window of another program may have come to the front since
// start-up and taken the focus; bringing the console back gives back the focus it had.
HWND FocusedControl(const CConsoleProcess& console)
{
    HWND window = console.Window();
    if (HWND focus = FocusOf(window))
        return focus;
    ::SetForegroundWindow(window);
    WaitUntil([&] { return FocusOf(window) != nullptr; }, kLimitMs);
    return FocusOf(window);
}

HWND WaitForWindow(DWORD processId, const wchar_t* title, DWORD limitMs = kLimitMs)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessWindow(processId, title)) != nullptr; }, limitMs);
    return found;
}

bool WaitForGone(HWND hwnd, DWORD limitMs = kLimitMs)
{
    return WaitUntil([&] { return !::IsWindow(hwnd); }, limitMs);
}

TEST(ConsoleWindowE2E, ShowsTheAddressAnEmptyViewAndTheButtonsWithFocusOnTheAddress)
{
    CConsoleProcess console;
    ASSERT_TRUE(console.Start()) << "no window titled as the console";
    EXPECT_EQ(console.Text(0), CConsoleProcess::kTitle);
    EXPECT_EQ(console.Text(IDC_LOCAL_ADDRESS), MachineAddress());
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), L"");
    EXPECT_EQ(console.Text(IDC_SERVICE_BUTTON), kCaptionStart);
    EXPECT_EQ(console.Text(IDC_CLEAR_LOG), L"清空日志");
    EXPECT_EQ(console.Text(IDC_SAVE_LOG), L"保存日志");
    EXPECT_EQ(FocusedControl(console), console.Control(IDC_LOCAL_ADDRESS));
    EXPECT_TRUE(::IsWindowVisible(console.Window()));
}

struct Ending {
    const char* name;
    void (*act)(const CConsoleProcess&);
};

void PostKeyToFocus(const CConsoleProcess& console, WPARAM key)
{
    HWND focus = FocusedControl(console);
    ASSERT_EQ(focus, console.Control(IDC_LOCAL_ADDRESS));
    ::PostMessageW(focus, WM_KEYDOWN, key, 0);
    ::PostMessageW(focus, WM_KEYUP, key, 0);
}

const Ending kEndings[] = {
    {"Enter", [](const CConsoleProcess& c) { PostKeyToFocus(c, VK_RETURN); }},
    {"Escape", [](const CConsoleProcess& c) { PostKeyToFocus(c, VK_ESCAPE); }},
    {"CloseMessage", [](const CConsoleProcess& c) { ::PostMessageW(c.Window(), WM_CLOSE, 0, 0); }},
    {"SystemMenuClose", [](const CConsoleProcess& c) { ::PostMessageW(c.Window(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
};

TEST(ConsoleEnds, AndTheProcessEndsWithIt)
{
    ForEachCaseOnItsOwnConsole(kEndings, Service::Stopped, [](const Ending& ending, const CConsoleProcess& console) {
        ending.act(console);
        DWORD exitCode = 1;
        EXPECT_TRUE(console.WaitForExit(kLimitMs, &exitCode));
        EXPECT_EQ(exitCode, 0u);
    });
}

TEST(ConsoleWindowE2E, CommandLineArgumentsChangeNothing)
{
    CConsoleProcess console;
    ASSERT_TRUE(console.Start(L"--port 12000 /min -h 10.1.2.3 日志")) << "no window titled as the console";
    EXPECT_EQ(console.Text(IDC_LOCAL_ADDRESS), MachineAddress());
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), L"");
    EXPECT_EQ(console.Text(IDC_SERVICE_BUTTON), kCaptionStart);
    EXPECT_FALSE(::IsIconic(console.Window()));

    // The service still listens on its own port.
    ASSERT_TRUE(console.StartService());
    TestClient client;
    EXPECT_EQ(client.Connect(), 0);
    client.Close();

    ::PostMessageW(console.Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(console.WaitForExit(kLimitMs));
}

// The system keeps the low four bits of a system command for itself: 0x0010 to 0x001F all mean About.
const struct AboutCommand {
    const char* name;
    WPARAM command;
} kAboutCommands[] = {{"LowBitsClear", 0x0010}, {"LowBitsSet", 0x001F}};

TEST(AboutFromSystemMenu, OpensModallyAndItsOkClosesIt)
{
    ForEachCaseOnItsOwnConsole(
        kAboutCommands, Service::Stopped, [](const AboutCommand& c, const CConsoleProcess& console) {
            ::PostMessageW(console.Window(), WM_SYSCOMMAND, c.command, 0);

            HWND about = WaitForWindow(console.ProcessId(), kAboutTitle);
            ASSERT_NE(about, nullptr) << "no About box";
            std::vector<std::wstring> texts;
            for (HWND child : Children(about))
                texts.push_back(TextOf(child));
            EXPECT_NE(std::find(texts.begin(), texts.end(), L"ZelLogConsole，1.0 版"), texts.end());
            EXPECT_EQ(TextOf(::GetDlgItem(about, IDOK)), L"确定");
            EXPECT_FALSE(::IsWindowEnabled(console.Window())) << "the About box is modal";

            ::PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(about, IDOK)));
            EXPECT_TRUE(WaitForGone(about));
            EXPECT_TRUE(console.Answers(kLimitMs));
            EXPECT_TRUE(::IsWindowEnabled(console.Window()));
            EXPECT_EQ(console.Text(IDC_SERVICE_BUTTON), kCaptionStart);

            ::PostMessageW(console.Window(), WM_CLOSE, 0, 0);
            EXPECT_TRUE(console.WaitForExit(kLimitMs));
        });
}

// The console built to start as on a machine whose sockets library cannot be started.
std::wstring NoSocketsExe()
{
    return CConsoleProcess::WindowsPath(ZEL_NO_SOCKETS_EXE);
}

// Message boxes are captioned with the program's name: its file name without the extension.
std::wstring ProgramName(const std::wstring& path)
{
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    return name.substr(0, name.rfind(L'.'));
}

TEST(StartupE2E, WithoutSocketsAMessageBoxReportsItAndNoConsoleFollows)
{
    const std::wstring exe = NoSocketsExe();
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    const ProcessHandles process(info);

    HWND box = WaitForWindow(process.Id(), ProgramName(exe).c_str());
    ASSERT_NE(box, nullptr) << "no message box captioned "
                            << std::string(ProgramName(exe).begin(), ProgramName(exe).end());
    std::vector<std::wstring> texts;
    int buttons = 0;
    for (HWND child : Children(box)) {
        wchar_t cls[32] = {};
        ::GetClassNameW(child, cls, 32);
        if (_wcsicmp(cls, L"Button") == 0 && ::IsWindowVisible(child))
            ++buttons;
        texts.push_back(TextOf(child));
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Windows 套接字初始化失败。"), texts.end());
    EXPECT_EQ(buttons, 1) << "OK only";
    EXPECT_NE(::GetDlgItem(box, IDOK), nullptr);
    EXPECT_EQ(FindProcessWindow(process.Id(), CConsoleProcess::kTitle), nullptr);

    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
    // Until the process is gone, no console window may appear.
    bool consoleSeen = false;
    WaitUntil([&] { return ::WaitForSingleObject(process.Process(), 20) != WAIT_TIMEOUT; }, kLimitMs,
              [&] { consoleSeen = consoleSeen || FindProcessWindow(process.Id(), CConsoleProcess::kTitle); });
    DWORD exitCode = STILL_ACTIVE;
    ::GetExitCodeProcess(process.Process(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the program did not end after OK";
    EXPECT_FALSE(consoleSeen);

    if (exitCode == STILL_ACTIVE)
        ::TerminateProcess(process.Process(), 1);
}

} // namespace
