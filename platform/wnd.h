#pragma once
// A window of the program. Holds the HWND; whoever created the window owns it.
#include <windows.h>

#include "platform/cstring.h"

class CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(HWND hwnd) : m_hWnd(hwnd) {}
    virtual ~CWnd() = default;

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }

    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    CString GetWindowText() const;
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }

    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    HICON SetIcon(HICON icon, BOOL big)
    {
        return reinterpret_cast<HICON>(Send(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK) const;
};
