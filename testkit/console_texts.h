#pragma once
// What the console says and where it listens, as the tests expect it: one place, so that a
// changed text fails every test that shows it rather than only one copy.
#include <cstdint>
#include <cstdlib>

// The port the program itself always listens on.
inline constexpr uint16_t kFixedConsolePort = 11925;

// The port of the console a test talks to. ctest gives each test that starts a console a port of
// its own in ZEL_CONSOLE_PORT (zel_give_console_ports in cmake/ZelTesting.cmake), which the test
// build of the console (testkit/test_port_app.h) listens on, so that such tests run side by
// side; without it, the fixed port. Tests reach the console's port only through this.
inline uint16_t ConsolePort()
{
    const char* given = std::getenv("ZEL_CONSOLE_PORT");
    const long port = given ? std::strtol(given, nullptr, 10) : 0;
    return port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : kFixedConsolePort;
}

inline constexpr wchar_t kStarted[] = L"日志服务启动成功，正在侦听...\r\n";
inline constexpr wchar_t kStopped[] = L"日志服务关闭成功!.\r\n";
inline constexpr wchar_t kCreateFailed[] = L"启动日志服务失败(-1)，请联系Zel客服人员！\r\n";
inline constexpr wchar_t kCaptionStart[] = L"启动";
inline constexpr wchar_t kCaptionStop[] = L"关闭";
inline constexpr wchar_t kSaved[] = L"保存日志文件成功！";

// The started line in code page 936, as a saved file holds it: 16 characters, 29 bytes.
inline constexpr char kStartedLine936[] =
    "\xc8\xd5\xd6\xbe\xb7\xfe\xce\xf1\xc6\xf4\xb6\xaf\xb3\xc9\xb9\xa6\xa3\xac\xd5\xfd\xd4\xda\xd5\xec\xcc\xfd...";
