#pragma once
// The strings debug_writer.exe writes with OutputDebugString, shared with the tests and the
// bench that check what arrives. Even numbers go as A strings (in the ANSI code page), odd ones
// as W strings; the line ends vary as real programs' do, and Chinese shows a wrong conversion.
#include <cstdio>
#include <string>

// The text of string `n` without its line end: numbered, so that a gap or a swap shows.
inline std::wstring DebugWriterText(int n)
{
    wchar_t text[64];
    std::swprintf(text, 64, L"%c %06d 调试输出 %ls", n % 2 == 0 ? L'A' : L'W', n, n % 3 == 0 ? L"订单" : L"ok");
    return text;
}

// The line end string `n` is written with: none, LF or CR LF.
inline const wchar_t* DebugWriterEnd(int n)
{
    static const wchar_t* const kEnds[] = {L"", L"\n", L"\r\n"};
    return kEnds[n % 3];
}
