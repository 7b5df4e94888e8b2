#pragma once
// What zelsend's Windows side shares: the HANDLE that a port class keeps as a std::intptr_t (so
// that its header needs no <windows.h>), and its one pair of conversions between the UTF-8 that
// zelsend holds everywhere and the UTF-16 that the wide calls take and give (paths, arguments,
// console input, process names).
#include <windows.h>

#include <cstdint>
#include <string>

namespace zelsend {

inline HANDLE Native(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

inline std::intptr_t Held(HANDLE handle)
{
    return reinterpret_cast<std::intptr_t>(handle);
}

inline std::wstring Wide(const std::string& utf8)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

inline std::string Narrow(const wchar_t* utf16, size_t length)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, utf16, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace zelsend
