#include "net/payload_decoder.h"

#include <windows.h>

#include <vector>

CString DecodePayload(const char* payload)
{
    // Strict measure: any invalid sequence makes the whole payload empty.
    const int wideCount = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, payload, -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(wideCount) + 1, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, payload, -1, wide.data(), wideCount);

    const int ansiCount = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::vector<char> ansi(static_cast<size_t>(ansiCount) + 1, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, ansi.data(), ansiCount, nullptr, nullptr);

    const int resultCount = ::lstrlenA(ansi.data()) + 1;
    std::vector<wchar_t> result(static_cast<size_t>(resultCount), L'\0');
    if (::MultiByteToWideChar(CP_THREAD_ACP, 0, ansi.data(), -1, result.data(), resultCount) == 0)
        return CString();
    return CString(result.data());
}
