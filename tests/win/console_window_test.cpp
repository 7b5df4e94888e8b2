// The console window and the About box as real dialogs of this process, the local address
// through a stand-in name service, the application's command route, and the resources the
// program carries.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "app/zel_log_console_app.h"
#include "log/log_registry.h"
#include "pump.h"
#include "ui/about_dlg.h"
#include "ui/zel_log_console_dlg.h"

namespace {

CString TextOf(HWND hwnd)
{
    return CWnd(hwnd).GetWindowText();
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

// The children of a dialog in Z order, which is the order of its template and so its tab order.
std::vector<HWND> Children(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// A child's window rectangle in the dialog's client coordinates.
RECT PlaceOf(HWND dialog, HWND child)
{
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Where the dialog manager puts a control of the template: corner and size are each mapped
// from dialog units on their own, so the far edge is not the mapped far edge.
RECT DialogUnits(HWND dialog, int x, int y, int w, int h)
{
    RECT at{x, y, w, h};
    ::MapDialogRect(dialog, &at);
    return RECT{at.left, at.top, at.left + at.right, at.top + at.bottom};
}

// WS_BORDER of an edit control becomes the sunken client edge when the control is created.
bool HasBorder(HWND hwnd)
{
    return (::GetWindowLongW(hwnd, GWL_STYLE) & WS_BORDER) || (::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

std::wstring Describe(const RECT& r)
{
    return L"(" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L")-(" + std::to_wstring(r.right) + L"," +
           std::to_wstring(r.bottom) + L")";
}

// The machine's first IPv4 address, asked of the sockets library directly.
CString MachineAddress()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name) != 0)
        return CString();
    const hostent* host = ::gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list[0])
        return CString();
    in_addr first;
    memcpy(&first, host->h_addr_list[0], 4);
    const std::string dotted = ::inet_ntoa(first);
    return CString(dotted.begin(), dotted.end());
}

// A real console window, created modelessly so the test's own loop drives it.
class ConsoleWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        CLogRegistry::GetInstance()->m_pipe.Clear();
        ASSERT_TRUE(m_dlg.Create());
        // Read at once: a window of another program that comes to the front later takes the focus.
        m_focusAfterCreate = ::GetFocus();
        PumpPending(50);
    }

    HWND Item(int id) const { return m_dlg.GetDlgItem(id); }
    CString Text(int id) const { return TextOf(Item(id)); }
    void Click(int id) { m_dlg.Send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id))); }

    CZelLogConsoleDlg m_dlg;
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
    CLogRegistry::GetInstance()->m_pipe.Offer(L"from a connection\r\n");
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
     WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_WANTRETURN, WS_HSCROLL | ES_AUTOHSCROLL},
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

struct IconCase {
    int width, height, iconWidth, iconHeight;
    int x, y;
};

void PrintTo(const IconCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << " around " << c.iconWidth << "x" << c.iconHeight;
}

class IconOrigin : public ::testing::TestWithParam<IconCase> {};

// (size - icon + 1) / 2, truncated toward zero: odd spare room puts the extra pixel before the icon.
TEST_P(IconOrigin, CentresTheIconInTheClientArea)
{
    const IconCase& c = GetParam();
    const RECT client{0, 0, c.width, c.height};
    const POINT at = CZelLogConsoleDlg::IconOrigin(client, c.iconWidth, c.iconHeight);
    EXPECT_EQ(at.x, c.x);
    EXPECT_EQ(at.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Sizes, IconOrigin,
                         ::testing::Values(IconCase{64, 64, 32, 32, 16, 16}, // even room
                                           IconCase{65, 65, 32, 32, 17, 17}, // odd room rounds up
                                           IconCase{33, 34, 32, 32, 1, 1},   // one and two pixels
                                           IconCase{32, 32, 32, 32, 0, 0},   // exact fit
                                           IconCase{160, 27, 32, 32, 64, -2},
                                           IconCase{31, 20, 32, 32, 0, -5}, // toward zero, not down
                                           IconCase{101, 80, 48, 16, 27, 32}));

// The About box, created modelessly so its controls can be read as they come from its template.
class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_about.Create()); }
    CAboutDlg m_about;
};

TEST_F(AboutBox, ShowsTheProgramsNameVersionNoticeAndOk)
{
    EXPECT_EQ(m_about.GetWindowText(), L"关于 ZelLogConsole");
    const std::vector<HWND> children = Children(m_about.m_hWnd);
    ASSERT_EQ(children.size(), 4u);

    EXPECT_EQ(ClassOf(children[0]), L"Static");
    EXPECT_EQ(::GetWindowLongW(children[0], GWL_STYLE) & SS_TYPEMASK, SS_ICON);
    EXPECT_NE(::SendMessageW(children[0], STM_GETICON, 0, 0), 0);

    EXPECT_EQ(TextOf(children[1]), L"ZelLogConsole，1.0 版");
    EXPECT_TRUE(::GetWindowLongW(children[1], GWL_STYLE) & SS_NOPREFIX);
    EXPECT_NE(TextOf(children[2]), L"");
    EXPECT_EQ(ClassOf(children[2]), L"Static");

    EXPECT_EQ(::GetDlgCtrlID(children[3]), IDOK);
    EXPECT_EQ(TextOf(children[3]), L"确定");
    EXPECT_EQ(::GetWindowLongW(children[3], GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(AboutBox, ControlsSitWhereTheTemplatePutsThem)
{
    const RECT places[] = {{14, 14, 21, 20}, {42, 14, 114, 8}, {42, 26, 114, 8}, {113, 41, 50, 14}};
    const DWORD required[] = {0, WS_GROUP, WS_GROUP, WS_GROUP | WS_TABSTOP};
    const std::vector<HWND> children = Children(m_about.m_hWnd);
    ASSERT_EQ(children.size(), std::size(places));
    for (size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(i);
        const RECT& p = places[i];
        // The icon control takes the size of its icon, so only its corner is the template's.
        RECT expected = DialogUnits(m_about.m_hWnd, p.left, p.top, p.right, p.bottom);
        RECT actual = PlaceOf(m_about.m_hWnd, children[i]);
        if (i == 0) {
            expected.right = expected.bottom = actual.right = actual.bottom = 0;
        }
        EXPECT_EQ(Describe(actual), Describe(expected));
        const DWORD style = static_cast<DWORD>(::GetWindowLongW(children[i], GWL_STYLE));
        EXPECT_EQ(style & required[i], required[i]);
    }
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(m_about.m_hWnd, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(::GetWindowLongW(m_about.m_hWnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    RECT client;
    ::GetClientRect(m_about.m_hWnd, &client);
    EXPECT_EQ(Describe(client), Describe(DialogUnits(m_about.m_hWnd, 0, 0, 170, 62)));
}

TEST_F(AboutBox, OkClosesIt)
{
    HWND hwnd = m_about.m_hWnd;
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
}

// A name service that answers as told and records what it was asked.
class CFakeResolver : public CHostResolver {
public:
    int nameResult = 0;                   // what gethostname returns
    std::string name = "zel-host";        // the bytes it writes (a name that fills the buffer has no end)
    bool resolves = true;                 // whether gethostbyname finds the name
    short family = AF_INET;
    short length = 4;
    std::vector<std::array<unsigned char, 16>> addresses{{{192, 168, 7, 21}}};
    bool nullList = false;

    int sizeGiven = 0;
    int lookups = 0;
    std::string asked;

    int GetHostName(char* out, int size) override
    {
        sizeGiven = size;
        if (nameResult != 0)
            return nameResult;
        const size_t n = std::min(name.size(), static_cast<size_t>(size));
        memcpy(out, name.data(), n);
        if (n < static_cast<size_t>(size))
            out[n] = '\0';
        return 0;
    }

    hostent* GetHostByName(const char* query) override
    {
        ++lookups;
        asked = query;
        if (!resolves)
            return nullptr;
        m_list.clear();
        for (auto& a : addresses)
            m_list.push_back(reinterpret_cast<char*>(a.data()));
        m_list.push_back(nullptr);
        m_host = {};
        m_host.h_name = const_cast<char*>(asked.c_str());
        m_host.h_addrtype = family;
        m_host.h_length = length;
        m_host.h_addr_list = nullList ? nullptr : m_list.data();
        return &m_host;
    }

private:
    hostent m_host = {};
    std::vector<char*> m_list;
};

struct AddressCase {
    const char* name;
    void (*arrange)(CFakeResolver&);
    const wchar_t* field;
    int lookups;
};

const AddressCase kAddressCases[] = {
    {"Found", [](CFakeResolver&) {}, L"192.168.7.21", 1},
    {"FirstOfSeveral",
     [](CFakeResolver& r) { r.addresses = {{{10, 0, 0, 9}}, {{192, 168, 7, 21}}, {{127, 0, 0, 1}}}; },
     L"10.0.0.9", 1},
    {"NameOf255Characters", [](CFakeResolver& r) { r.name = std::string(255, 'h'); }, L"192.168.7.21", 1},
    {"NameLookupFails", [](CFakeResolver& r) { r.nameResult = SOCKET_ERROR; }, L"", 0},
    {"NameFillsTheBuffer", [](CFakeResolver& r) { r.name = std::string(300, 'h'); }, L"", 0},
    {"NameDoesNotResolve", [](CFakeResolver& r) { r.resolves = false; }, L"", 1},
    {"NoAddress", [](CFakeResolver& r) { r.addresses.clear(); }, L"", 1},
    {"NoAddressList", [](CFakeResolver& r) { r.nullList = true; }, L"", 1},
    {"IPv6Only",
     [](CFakeResolver& r) {
         r.family = AF_INET6;
         r.length = 16;
         r.addresses = {{{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}}};
     },
     L"", 1},
    {"WrongAddressLength", [](CFakeResolver& r) { r.length = 16; }, L"", 1},
};

void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << c.name;
}

class LocalAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(LocalAddress, FieldShowsTheFirstIPv4AddressOrNothing)
{
    CFakeResolver resolver;
    GetParam().arrange(resolver);
    const std::string name = resolver.name;

    CZelLogConsoleDlg dlg;
    dlg.SetHostResolver(&resolver);
    ASSERT_TRUE(dlg.Create());

    EXPECT_EQ(TextOf(dlg.GetDlgItem(IDC_LOCAL_ADDRESS)), GetParam().field);
    EXPECT_GE(resolver.sizeGiven, 256) << "the buffer must hold any host name";
    EXPECT_EQ(resolver.lookups, GetParam().lookups);
    if (resolver.lookups) {
        EXPECT_EQ(resolver.asked, name) << "the whole name is looked up";
    }
    // Whatever the lookup gave, the window is whole.
    EXPECT_EQ(::GetFocus(), dlg.GetDlgItem(IDC_LOCAL_ADDRESS));
    EXPECT_EQ(TextOf(dlg.GetDlgItem(IDC_SERVICE_BUTTON)), L"启动");
}

INSTANTIATE_TEST_SUITE_P(Lookups, LocalAddress, ::testing::ValuesIn(kAddressCases),
                         [](const ::testing::TestParamInfo<AddressCase>& info) { return info.param.name; });

// The program's resources, as linked into this test program from the same objects.
const void* ResourceBytes(const wchar_t* type, const wchar_t* name, DWORD* size,
                          WORD language = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED))
{
    HRSRC found = ::FindResourceExW(nullptr, type, name, language);
    if (!found)
        return nullptr;
    *size = ::SizeofResource(nullptr, found);
    return ::LockResource(::LoadResource(nullptr, found));
}

TEST(ConsoleResources, StringsAndTemplatesAreInSimplifiedChinese)
{
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), L"关于 ZelLogConsole(&A)...");
    EXPECT_EQ(LoadResourceString(IDP_SOCKETS_INIT_FAILED), L"Windows 套接字初始化失败。");
    DWORD size = 0;
    // Strings live in blocks of 16: ids 96..111 are block 7.
    EXPECT_NE(ResourceBytes(RT_STRING, MAKEINTRESOURCEW(IDS_ABOUTBOX / 16 + 1), &size), nullptr);
    EXPECT_NE(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_CONSOLE_DIALOG), &size), nullptr);
    EXPECT_NE(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_ABOUTBOX), &size), nullptr);
}

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(ConsoleResources, IconIsOne128PixelImageIn32BitColour)
{
    DWORD size = 0;
    const auto* group = static_cast<const IconGroup*>(ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDR_MAINFRAME), &size));
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count, 1);
    EXPECT_EQ(group->entries[0].width, 128);
    EXPECT_EQ(group->entries[0].height, 128);
    EXPECT_EQ(group->entries[0].bitCount, 32);
}

TEST(ConsoleResources, ManifestAsksForThemedControlsInvokerLevelAndDpiAwareness)
{
    DWORD size = 0;
    const void* bytes = ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), &size, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!bytes)
        bytes = ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1), &size);
    ASSERT_NE(bytes, nullptr);
    const std::string manifest(static_cast<const char*>(bytes), size);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

CString VersionString(const std::vector<BYTE>& info, const wchar_t* field)
{
    wchar_t* value = nullptr;
    UINT length = 0;
    const CString path = CString(L"\\StringFileInfo\\080404B0\\") + field;
    if (!::VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return L"<missing>";
    return CString(value);
}

TEST(ConsoleResources, VersionRecordNamesTheProgramInChineseWithUnicodeStrings)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD handle = 0;
    std::vector<BYTE> info(::GetFileVersionInfoSizeW(path, &handle));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(info.size()), info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(VersionString(info, L"FileDescription"), L"ZelLogConsole");
    EXPECT_EQ(VersionString(info, L"InternalName"), L"ZelLogConsole.exe");
    EXPECT_EQ(VersionString(info, L"OriginalFilename"), L"ZelLogConsole.exe");
    EXPECT_EQ(VersionString(info, L"FileVersion"), L"1.0.0.1");
    EXPECT_EQ(VersionString(info, L"ProductVersion"), L"1.0.0.1");
}

} // namespace
