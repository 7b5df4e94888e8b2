#include "testkit/console_process.h"

#include "res/resource.h"
#include "testkit/console_texts.h"
#include "testkit/window_probe.h"

#include <string>

namespace {
struct WindowSearch {
    DWORD processId;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->processId)
        return TRUE;
    wchar_t title[256] = {};
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(title), SMTO_ABORTIFHUNG, 2000, nullptr);
    if (wcscmp(title, search->title) != 0)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}
} // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* title)
{
    WindowSearch search{processId, title, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring CConsoleProcess::ExePath()
{
    return WindowsPath(ZEL_CONSOLE_EXE);
}

std::wstring CConsoleProcess::WindowsPath(const char* linuxPath)
{
    // Wine maps the Linux root to drive Z:.
    std::wstring windows = L"Z:";
    for (const char* c = linuxPath; *c; ++c)
        windows.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    return windows;
}

CConsoleProcess::~CConsoleProcess()
{
    Kill();
}

bool CConsoleProcess::Start(const std::wstring& arguments, DWORD limitMs)
{
    std::wstring commandLine = L"\"" + m_exe + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    m_process = ProcessHandles(info);
    ::WaitForInputIdle(Process(), limitMs);

    // Until the window shows, or the program ends without one.
    WaitUntil(
        [&] {
            m_window = FindProcessWindow(ProcessId(), kTitle);
            return m_window || ::WaitForSingleObject(Process(), 0) == WAIT_OBJECT_0;
        },
        limitMs, [] { ::Sleep(50); });
    return m_window != nullptr;
}

std::wstring CConsoleProcess::Text(int id) const
{
    return TextOf(id ? Control(id) : m_window, 10000);
}

int CConsoleProcess::TextLength(int id) const
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(Control(id), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length))
        return -1;
    return static_cast<int>(length);
}

void CConsoleProcess::Click(int id) const
{
    ::PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

bool CConsoleProcess::Answers(DWORD limitMs, DWORD* tookMs) const
{
    const ULONGLONG start = ::GetTickCount64();
    DWORD_PTR result = 0;
    const bool answered = ::SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_NORMAL, limitMs, &result) != 0;
    if (tookMs)
        *tookMs = static_cast<DWORD>(::GetTickCount64() - start);
    return answered;
}

bool CConsoleProcess::WaitForExit(DWORD limitMs, DWORD* exitCode) const
{
    if (!Process() || ::WaitForSingleObject(Process(), limitMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        ::GetExitCodeProcess(Process(), exitCode);
    return true;
}

void CConsoleProcess::Kill()
{
    if (!Process())
        return;
    if (::WaitForSingleObject(Process(), 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(Process(), 1);
        ::WaitForSingleObject(Process(), 5000);
    }
    m_process = ProcessHandles();
    m_window = nullptr;
}

bool CConsoleProcess::StartService(DWORD limitMs) const
{
    Click(IDC_SERVICE_BUTTON);
    return WaitForText(
        IDC_SERVICE_BUTTON, [](const std::wstring& t) { return t == kCaptionStop; }, limitMs);
}

const char* CConsoleProcess::StartWithService()
{
    if (!Start())
        return "the console window did not appear";
    if (!StartService()) {
        static const std::string taken =
            "the log service did not start (is port " + std::to_string(ConsolePort()) + " taken?)";
        return taken.c_str();
    }
    return nullptr;
}
