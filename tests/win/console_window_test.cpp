// The console window as a real dialog of this process: its controls, captions, system menu,
// icon, layout, its ways to end, and the application's command route.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "app/zel_log_console_app.h"
#include "console_fixture.h"
#include "dialog_probe.h"
#include "testkit/pump.h"
#include "testkit/window_probe.h"
#include "ui/zel_log_console_dlg.h"

namespace {

using namespace wintest;

class ConsoleWindow : public ConsoleFixture {
protected:
    void SetUp() override
    {
        ConsoleFixture::SetUp();
        if (HasFatalFailure())
            return;
        // Read at once: a window of another program that comes to the front later takes the focus.
        m_focusAfterCreate = ::GetFocus();
        PumpPending(50);
    }

    HWND Item(int id) const { return m_dlg.GetDlgItem(id); }
    CString Text(int id) const { return TextOf(Item(id)); }

    HWND m_focusAfterCreate = nullptr;
};

TEST_F(ConsoleWindow, StartsWithTheMachinesAddressFocusedAndAnEmptyView)
{
    const CString expected = MachineAddress();
    EXPECT_EQ(Text(IDC_LOCAL_ADDRESS), expected);
    if (!expected.empty()) {
        EXPECT_NE(::inet_addr(std::string(expected.begin(), expected.end()).c_str()), INADDR_NONE);
    }
    EXPECT_EQ(m_focusAfterCreate, Item(IDC_LOCAL_ADDRESS));
    EXPECT_EQ(Text(IDC_LOG_VIEW), L"");
    EXPECT_FALSE(m_dlg.m_bListening);
}

TEST_F(ConsoleWindow, CaptionsAreTheProgramsOwn)
{
    EXPECT_EQ(m_dlg.GetWindowText(), L"Zel网络日志终端工具v1.0");
    EXPECT_EQ(Text(IDC_SERVICE_BUTTON), L"启动");
    EXPECT_EQ(Text(IDC_CLEAR_LOG), L"清空日志");
    EXPECT_EQ(Text(IDC_SAVE_LOG), L"保存日志");
}

// What the window does lands in the controls the operator sees, read as a user's eyes would.
TEST_F(ConsoleWindow, LogTextAndServiceCaptionShowInTheirControls)
{
    m_dlg.AppendLog(L"shown where the operator looks\r\n");
    EXPECT_EQ(Text(IDC_LOG_VIEW), L"shown where the operator looks\r\n");
    Pipe().Offer(L"from a connection\r\n");
    EXPECT_TRUE(PumpUntil([&] { return Text(IDC_LOG_VIEW).find(L"from a connection") != CString::npos; }));
    m_dlg.ToggleLogService();
    EXPECT_EQ(Text(IDC_SERVICE_BUTTON), L"关闭");
    m_dlg.ToggleLogService();
    EXPECT_EQ(Text(IDC_SERVICE_BUTTON), L"启动");
}

TEST_F(ConsoleWindow, SystemMenuEndsWithSeparatorAndAbout)
{
    HMENU menu = ::GetSystemMenu(m_dlg.m_hWnd, FALSE);
    ASSERT_NE(menu, nullptr);
    const int count = ::GetMenuItemCount(menu);
    ASSERT_GE(count, 2);

    MENUITEMINFOW separator = {};
    separator.cbSize = sizeof separator;
    separator.fMask = MIIM_FTYPE;
    ASSERT_TRUE(::GetMenuItemInfoW(menu, count - 2, TRUE, &separator));
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

    wchar_t text[64] = {};
    MENUITEMINFOW about = {};
    about.cbSize = sizeof about;
    about.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    about.dwTypeData = text;
    about.cch = 64;
    ASSERT_TRUE(::GetMenuItemInfoW(menu, count - 1, TRUE, &about));
    EXPECT_FALSE(about.fType & MFT_SEPARATOR);
    EXPECT_EQ(about.wID, 0x0010u);
    EXPECT_STREQ(text, L"关于 ZelLogConsole(&A)...");
}

TEST_F(ConsoleWindow, IconIsTheWindowsBigAndSmallIconAndItsDragCursor)
{
    ASSERT_NE(m_dlg.m_hIcon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.Send(WM_GETICON, ICON_BIG)), m_dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.Send(WM_GETICON, ICON_SMALL)), m_dlg.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(m_dlg.Send(WM_QUERYDRAGICON)), m_dlg.m_hIcon);
}

TEST_F(ConsoleWindow, ClearEmptiesTheViewAndLeavesTheRestAsItWas)
{
    m_dlg.AppendLog(L"第一行\r\nsecond line\r\n");
    ASSERT_NE(Text(IDC_LOG_VIEW), L"");
    const CString address = Text(IDC_LOCAL_ADDRESS);
    const CString title = m_dlg.GetWindowText();
    std::vector<CString> captions;
    for (int id : {IDC_SERVICE_BUTTON, IDC_CLEAR_LOG, IDC_SAVE_LOG})
        captions.push_back(Text(id));

    Click(IDC_CLEAR_LOG);

    EXPECT_EQ(Text(IDC_LOG_VIEW), L"");
    EXPECT_EQ(Text(IDC_LOCAL_ADDRESS), address);
    EXPECT_EQ(m_dlg.GetWindowText(), title);
    EXPECT_EQ(Text(IDC_SERVICE_BUTTON), captions[0]);
    EXPECT_EQ(Text(IDC_CLEAR_LOG), captions[1]);
    EXPECT_EQ(Text(IDC_SAVE_LOG), captions[2]);
    EXPECT_FALSE(m_dlg.m_bListening);
    EXPECT_TRUE(::IsWindow(m_dlg.m_hWnd));
}

// Enter on the address field and Escape arrive as OK and Cancel: either ends the window.
class ConsoleWindowEnds : public ConsoleWindow, public ::testing::WithParamInterface<int> {};

TEST_P(ConsoleWindowEnds, ByTheDefaultDialogAction)
{
    HWND hwnd = m_dlg.m_hWnd;
    m_dlg.Send(WM_COMMAND, MAKEWPARAM(GetParam(), BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

INSTANTIATE_TEST_SUITE_P(ConsoleWindow, ConsoleWindowEnds, ::testing::Values(IDOK, IDCANCEL));

struct ControlLayout {
    int id;
    const wchar_t* className;
    int x, y, w, h;
    bool bordered;
    DWORD required;  // style bits it must have
    DWORD forbidden; // style bits it must not have
};

// The table of the console window's controls, in tab order.
const ControlLayout kConsoleControls[] = {
    {IDC_LOCAL_ADDRESS, L"Edit", 7, 16, 113, 14, true, WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL,
     ES_MULTILINE | WS_VSCROLL},
    {IDC_LOG_VIEW, L"Edit", 7, 37, 386, 241, true,
     WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_WANTRETURN,
     WS_HSCROLL | ES_AUTOHSCROLL},
    {IDC_SERVICE_BUTTON, L"Button", 128, 16, 50, 14, false, WS_TABSTOP, BS_DEFPUSHBUTTON},
    {IDC_CLEAR_LOG, L"Button", 185, 16, 50, 14, false, WS_TABSTOP, BS_DEFPUSHBUTTON},
    {IDC_SAVE_LOG, L"Button", 242, 16, 50, 14, false, WS_TABSTOP, BS_DEFPUSHBUTTON},
};

TEST_F(ConsoleWindow, ControlsSitWhereTheTemplatePutsThemInTabOrder)
{
    const std::vector<HWND> children = Children(m_dlg.m_hWnd);
    ASSERT_EQ(children.size(), std::size(kConsoleControls));
    for (size_t i = 0; i < children.size(); ++i) {
        const ControlLayout& c = kConsoleControls[i];
        HWND child = children[i];
        SCOPED_TRACE(c.id);
        EXPECT_EQ(::GetDlgCtrlID(child), c.id);
        EXPECT_EQ(ClassOf(child), c.className);
        EXPECT_EQ(Describe(PlaceOf(m_dlg.m_hWnd, child)), Describe(DialogUnits(m_dlg.m_hWnd, c.x, c.y, c.w, c.h)));
        const DWORD style = static_cast<DWORD>(::GetWindowLongW(child, GWL_STYLE));
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | c.required), WS_CHILD | WS_VISIBLE | c.required);
        EXPECT_EQ(style & c.forbidden, 0u);
        EXPECT_EQ(HasBorder(child), c.bordered);
    }
    EXPECT_EQ(::GetNextDlgTabItem(m_dlg.m_hWnd, Item(IDC_SAVE_LOG), FALSE), Item(IDC_LOCAL_ADDRESS));
}

TEST_F(ConsoleWindow, FrameIsASizableMinimisableAppWindowWithoutMenuBar)
{
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(m_dlg.m_hWnd, GWL_STYLE));
    const DWORD wanted = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_CHILD), 0u);
    EXPECT_TRUE(::GetWindowLongW(m_dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(::GetMenu(m_dlg.m_hWnd), nullptr);
    EXPECT_EQ(m_dlg.GetParent(), nullptr);

    RECT client;
    ::GetClientRect(m_dlg.m_hWnd, &client);
    EXPECT_EQ(Describe(client), Describe(DialogUnits(m_dlg.m_hWnd, 0, 0, 400, 285)));

    LOGFONTW font = {};
    ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(m_dlg.Send(WM_GETFONT)), sizeof font, &font));
    HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72));
    ::ReleaseDC(nullptr, screen);
}

// An application that records help commands instead of ignoring them.
class CHelpCountingApp : public CZelLogConsoleApp {
public:
    void OnHelp() override { ++m_helps; }
    int m_helps = 0;
};

TEST_F(ConsoleWindow, HelpCommandGoesToTheApplicationsHelpHandler)
{
    CHelpCountingApp app;
    m_dlg.Send(WM_COMMAND, MAKEWPARAM(ID_HELP, 0), 0);
    EXPECT_EQ(app.m_helps, 1);
    m_dlg.Send(WM_COMMAND, MAKEWPARAM(ID_HELP + 1, 0), 0);
    m_dlg.Send(WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED), 0);
    EXPECT_EQ(app.m_helps, 1) << "only the help command is the application's";
    EXPECT_TRUE(::IsWindow(m_dlg.m_hWnd));
}

TEST(ConsoleApp, AsksForRestartOnlyAndIsNamedAfterItsExecutable)
{
    CZelLogConsoleApp app;
    EXPECT_EQ(app.m_dwRestartManagerSupportFlags, 1u);
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_STREQ(AfxGetAppName(), L"win_tests");
}

} // namespace
