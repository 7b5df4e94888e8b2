#include "platform/window_subclass.h"

#include <commctrl.h>

bool CWindowSubclass::Attach(HWND window)
{
    Detach();
    if (!::SetWindowSubclass(window, &CWindowSubclass::Procedure, 0, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = window;
    return true;
}

void CWindowSubclass::Detach()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::RemoveWindowSubclass(m_hWnd, &CWindowSubclass::Procedure, 0);
    m_hWnd = nullptr;
}

LRESULT CALLBACK CWindowSubclass::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR self)
{
    auto* subclass = reinterpret_cast<CWindowSubclass*>(self);
    LRESULT result = 0;
    if (subclass->OnSubclassMessage(message, wParam, lParam, result))
        return result;
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, &CWindowSubclass::Procedure, 0);
        subclass->m_hWnd = nullptr;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}
