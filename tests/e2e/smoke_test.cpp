#include <gtest/gtest.h>
#include <winsock2.h>

#include "res/resource.h"
#include "testkit/console_checks.h"
#include "testkit/console_process.h"
#include "testkit/test_client.h"

namespace {

// The program as shipped, on its fixed port 11925 (ctest runs this group with no port of its
// own): every other group drives the test build, which listens where the test says.
class ConsoleSmoke : public ::testing::Test {
protected:
    void SetUp() override { console.SetExe(CConsoleProcess::WindowsPath(ZEL_SHIPPED_EXE)); }
    CConsoleProcess console;
};

TEST_F(ConsoleSmoke, WindowOpensWithItsControlsAndEnterEndsIt)
{
    ASSERT_TRUE(console.Start()) << "no window titled as the console";
    EXPECT_EQ(console.Text(IDC_SERVICE_BUTTON), kCaptionStart);
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), L"");
    ::PostMessageW(console.Control(IDC_LOCAL_ADDRESS), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(console.WaitForExit(15000));
}

TEST_F(ConsoleSmoke, StartedServiceShowsAFrameFromAClient)
{
    ASSERT_EQ(console.StartWithService(), nullptr);
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), kStarted);

    TestClient client(kFixedConsolePort);
    ASSERT_EQ(client.ConnectThenSend(std::string("\x05\x00\x00\x00hello", 9)), 0);
    EXPECT_TRUE(ViewShows(console, kStarted + std::wstring(L"hello")));
}

} // namespace
