#include "platform/fault.h"

#include <windows.h>

#include <new>

namespace {
std::function<void(const CString&)>& Reporter()
{
    static std::function<void(const CString&)> reporter;
    return reporter;
}

CString Widen(const char* text)
{
    CString wide;
    for (; text && *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

CString CurrentFaultText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return L"内存不足 (std::bad_alloc)";
    } catch (const std::exception& e) {
        return Widen(e.what());
    } catch (...) {
        return L"未知异常";
    }
}
} // namespace

void SetFaultReporter(std::function<void(const CString& what)> reporter)
{
    Reporter() = std::move(reporter);
}

void ReportCurrentFault()
{
    const CString what = CurrentFaultText();
    ::OutputDebugStringW((L"ZelLogConsole: " + what + L"\n").c_str());
    if (!Reporter())
        return;
    // The reporter itself must not let a second fault out of the window procedure.
    try {
        Reporter()(what);
    } catch (...) {
    }
}
