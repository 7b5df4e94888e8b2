#include <gtest/gtest.h>
#include <winsock2.h>

#include "console_process.h"
#include "res/resource.h"

namespace {

TEST(ConsoleSmoke, WindowOpensWithItsControlsAndEnterEndsIt)
{
    CConsoleProcess console;
    ASSERT_TRUE(console.Start()) << "no window titled as the console";
    EXPECT_EQ(console.Text(IDC_SERVICE_BUTTON), L"启动");
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), L"");
    ::PostMessageW(console.Control(IDC_LOCAL_ADDRESS), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(console.WaitForExit(15000));
}

TEST(ConsoleSmoke, StartedServiceShowsAFrameFromAClient)
{
    CConsoleProcess console;
    ASSERT_TRUE(console.Start());
    console.Click(IDC_SERVICE_BUTTON);
    ASSERT_TRUE(console.WaitForText(IDC_SERVICE_BUTTON, [](const std::wstring& t) { return t == L"关闭"; }));
    EXPECT_EQ(console.Text(IDC_LOG_VIEW), L"日志服务启动成功，正在侦听...\r\n");

    SOCKET client = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(11925);
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    ASSERT_EQ(::send(client, "\x05\x00\x00\x00hello", 9, 0), 9);
    EXPECT_TRUE(console.WaitForText(IDC_LOG_VIEW, [](const std::wstring& t) {
        return t == L"日志服务启动成功，正在侦听...\r\nhello";
    }));
    ::closesocket(client);
}

} // namespace
