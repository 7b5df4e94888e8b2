#pragma once
// Reading windows as a user's eyes would, from this process or another: a window's text (by
// WM_GETTEXT, with a limit, so a hung window does not hang the test), its class, a dialog's
// children in tab order, and the machine's address as the sockets library gives it.
#include <winsock2.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

inline std::wstring TextOf(HWND window, DWORD limitMs = 5000)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, limitMs, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                          limitMs, &copied);
    text.resize(copied);
    return text;
}

inline std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// The children of a dialog in Z order, which is the order of its template and so its tab order.
inline std::vector<HWND> Children(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// The machine's first IPv4 address, asked of the sockets library directly; "" when none.
inline std::wstring MachineAddress()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name) != 0)
        return L"";
    const hostent* host = ::gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list[0])
        return L"";
    in_addr first;
    std::memcpy(&first, host->h_addr_list[0], 4);
    const std::string dotted = ::inet_ntoa(first);
    return std::wstring(dotted.begin(), dotted.end());
}
