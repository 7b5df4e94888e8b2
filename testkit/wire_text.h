#pragma once
// What the tests and the bench put on the wire and read back from the view.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// A frame's 4-byte little-endian length.
inline std::string LengthBytes(int32_t length)
{
    const uint32_t n = static_cast<uint32_t>(length);
    return std::string{char(n & 0xFF), char(n >> 8 & 0xFF), char(n >> 16 & 0xFF), char(n >> 24 & 0xFF)};
}

inline std::string Frame(const std::string& payload)
{
    return LengthBytes(static_cast<int32_t>(payload.size())) + payload;
}

// `count` letters of the unbroken run a..z a..z ..., from its character `from` on: text with
// no line break and no space, where a character out of place shows.
inline std::string Letters(size_t from, size_t count)
{
    std::string letters(count, 'a');
    for (size_t i = 0; i < count; ++i)
        letters[i] = static_cast<char>('a' + (from + i) % 26);
    return letters;
}

// ASCII text as the view shows it.
inline std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// The view's text as UTF-8, for the payload verifier.
inline std::string ToUtf8(const std::wstring& text)
{
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// UTF-8 as the view shows it.
inline std::wstring FromUtf8(const std::string& utf8)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}
