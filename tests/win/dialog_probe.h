#pragma once
// Where the controls of real dialogs of this process sit, as the window tests read them off:
// places in client coordinates, dialog units mapped as the dialog manager maps them, borders.
// Their texts and classes are read with testkit/window_probe.h.
#include <windows.h>

#include <string>

namespace wintest {

// A child's window rectangle in the dialog's client coordinates.
inline RECT PlaceOf(HWND dialog, HWND child)
{
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Where the dialog manager puts a control of the template: corner and size are each mapped
// from dialog units on their own, so the far edge is not the mapped far edge.
inline RECT DialogUnits(HWND dialog, int x, int y, int w, int h)
{
    RECT at{x, y, w, h};
    ::MapDialogRect(dialog, &at);
    return RECT{at.left, at.top, at.left + at.right, at.top + at.bottom};
}

// WS_BORDER of an edit control becomes the sunken client edge when the control is created.
inline bool HasBorder(HWND hwnd)
{
    return (::GetWindowLongW(hwnd, GWL_STYLE) & WS_BORDER) || (::GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

inline std::wstring Describe(const RECT& r)
{
    return L"(" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L")-(" + std::to_wstring(r.right) + L"," +
           std::to_wstring(r.bottom) + L")";
}

} // namespace wintest
