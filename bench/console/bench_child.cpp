#include "bench_child.h"

#include <windows.h>

#include "testkit/child_process.h"

namespace zelbench {

std::string RunBenchChild(const std::wstring& arguments)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    return RunChild(L"\"" + std::wstring(self) + L"\" " + arguments, std::string(), false).output;
}

} // namespace zelbench
