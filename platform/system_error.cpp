#include "platform/system_error.h"

#include <string>

CString SystemErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    CString text = length ? CString(buffer, length) : CString();
    ::LocalFree(buffer);
    // The system's texts end in a line break, which would push the number onto a line of its own.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        return L"(" + std::to_wstring(code) + L")";
    return text + L" (" + std::to_wstring(code) + L")";
}
