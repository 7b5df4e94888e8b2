// The minimised window's icon place and the About box, as real dialogs of this process.
#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <vector>

#include "dialog_probe.h"
#include "testkit/window_probe.h"
#include "ui/about_dlg.h"
#include "ui/zel_log_console_dlg.h"

namespace {

using namespace wintest;

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

} // namespace
