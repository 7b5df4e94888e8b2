#include "bench_child.h"

#include <windows.h>

namespace zelbench {

std::string RunBenchChild(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return std::string();
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child = {};
    const BOOL started =
        ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    ::CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
            output.append(buffer, got);
        ::WaitForSingleObject(child.hProcess, INFINITE);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    ::CloseHandle(readEnd);
    return output;
}

} // namespace zelbench
