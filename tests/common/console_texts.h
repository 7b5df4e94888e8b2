#pragma once
// What the console says and where it listens, as the tests expect it: one place, so that a
// changed text fails every test that shows it rather than only one copy.
#include <cstdint>

inline constexpr uint16_t kConsolePort = 11925;

inline constexpr wchar_t kStarted[] = L"日志服务启动成功，正在侦听...\r\n";
inline constexpr wchar_t kStopped[] = L"日志服务关闭成功!.\r\n";
inline constexpr wchar_t kCreateFailed[] = L"启动日志服务失败(-1)，请联系Zel客服人员！\r\n";
inline constexpr wchar_t kCaptionStart[] = L"启动";
inline constexpr wchar_t kCaptionStop[] = L"关闭";
inline constexpr wchar_t kSaved[] = L"保存日志文件成功！";

// The started line in code page 936, as a saved file holds it: 16 characters, 29 bytes.
inline constexpr char kStartedLine936[] =
    "\xc8\xd5\xd6\xbe\xb7\xfe\xce\xf1\xc6\xf4\xb6\xaf\xb3\xc9\xb9\xa6\xa3\xac\xd5\xfd\xd4\xda\xd5\xec\xcc\xfd...";
