#include "platform/fault.h"

#include <windows.h>

#include <new>

namespace {
std::function<void(const CString&)>& Reporter()
{
    static std::function<void(const CString&)> reporter;
    return reporter;
}

// An exception's text is in the ANSI code page.
CString Widen(const char* text)
{
    const int size = text ? ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0) : 0;
    if (size <= 1)
        return CString();
    CString wide(static_cast<size_t>(size - 1), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
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
