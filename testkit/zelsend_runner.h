#pragma once
// Running zelsend.exe's bridges in the end-to-end tests: a bridge in the background until the
// test ends it, a run to its end, the wait for a debug-output reader, and a log file written
// as a logger writes it. Shared by the bridges' end-to-end tests.
#include <windows.h>

#include <string>

#include "platform/scoped.h"
#include "testkit/child_process.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/wait.h"

// A zelsend bridge running in the background until the test ends it, sending to the test's
// console unless the arguments name another port.
class RunningZelsend : public BackgroundProcess {
public:
    explicit RunningZelsend(const std::wstring& arguments)
        : BackgroundProcess(L"\"" + CConsoleProcess::WindowsPath(ZELSEND_EXE) + L"\" --port " +
                            std::to_wstring(ConsolePort()) + L" " + arguments)
    {
    }
};

inline ChildRun RunToEnd(const char* exe, const std::wstring& arguments)
{
    return RunChild(L"\"" + CConsoleProcess::WindowsPath(exe) + L"\" " + arguments, "", true, 120000);
}

// True once a debug-output reader has created the buffer's events.
inline bool ReaderListens()
{
    return WaitUntil(
        [] {
            const UniqueHandle ready(::OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY"));
            return static_cast<bool>(ready);
        },
        30000);
}

// Writes as a logger does: opens the file, appends, closes. `create` starts it over (empty).
inline bool WriteLog(const std::wstring& path, const std::string& bytes, bool create = false)
{
    const UniqueHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          create ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}
