#include "platform/wnd.h"

#include "platform/win_app.h"

CString CWnd::GetWindowText() const
{
    // WM_GETTEXT rather than GetWindowTextW: it also reads controls of other threads' windows.
    const int length = GetWindowTextLength();
    CString text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = Send(WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const
{
    return ::MessageBoxW(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}
