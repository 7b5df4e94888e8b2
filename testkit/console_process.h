#pragma once
// Drives the real ZelLogConsole.exe from another process, as an operator or a script would:
// starts it, finds its window by title, reads controls with WM_GETTEXT and clicks buttons.
#include <windows.h>

#include <string>

#include "platform/scoped.h"
#include "testkit/wait.h"

class CConsoleProcess {
public:
    static constexpr const wchar_t* kTitle = L"Zel网络日志终端工具v1.0";

    CConsoleProcess() = default;
    ~CConsoleProcess();
    CConsoleProcess(const CConsoleProcess&) = delete;
    CConsoleProcess& operator=(const CConsoleProcess&) = delete;

    // Runs another build of the program (a Windows path) instead of the console itself.
    void SetExe(const std::wstring& path) { m_exe = path; }
    // Starts the program (with optional command-line arguments) and waits for its window.
    bool Start(const std::wstring& arguments = L"", DWORD limitMs = 30000);
    HWND Window() const { return m_window; }
    HWND Control(int id) const { return ::GetDlgItem(m_window, id); }
    DWORD ProcessId() const { return m_process.Id(); }
    HANDLE Process() const { return m_process.Process(); }

    // The text of a control (or of the window for id 0), read from outside the process.
    std::wstring Text(int id) const;
    int TextLength(int id) const;
    // Presses a button as a click would, without waiting for its handler to finish.
    void Click(int id) const;
    // Clicks "启动" and waits until the button offers "关闭": the log service listens.
    bool StartService(DWORD limitMs = 15000) const;
    // Starts the program and its log service, for the drivers and the bench: nullptr, or what
    // went wrong, in words.
    const char* StartWithService();
    // True when the window answers a message within the limit.
    bool Answers(DWORD limitMs, DWORD* tookMs = nullptr) const;

    // Waits until the text of a control satisfies a condition; false at the limit.
    template <class Predicate>
    bool WaitForText(int id, Predicate done, DWORD limitMs = 15000) const
    {
        return WaitUntil([&] { return done(Text(id)); }, limitMs);
    }
    bool WaitForExit(DWORD limitMs, DWORD* exitCode = nullptr) const;
    void Kill();

    // The console this driver starts unless told otherwise, as a Windows path: the program as
    // shipped (zel_console_driver, for the bench and the screenshot), or the test build that
    // listens on ConsolePort() (zel_test_console_driver, for the tests).
    static std::wstring ExePath();
    // A path of the build machine, as Wine sees it.
    static std::wstring WindowsPath(const char* linuxPath);

private:
    std::wstring m_exe = ExePath();
    ProcessHandles m_process;
    HWND m_window = nullptr;
};

// Finds a top-level window of a process by exact title; nullptr when there is none.
HWND FindProcessWindow(DWORD processId, const wchar_t* title);
