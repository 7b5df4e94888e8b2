#pragma once
// A plain window for the ceilings and the view's cost: the console's own dialog template with a
// dialog procedure that does nothing, so that the log view's control is the console's, with
// none of the console's code around it.
#include "testkit/pump.h"
#include <windows.h>

#include "platform/edit.h"
#include "res/resource.h"

namespace zelbench {

inline INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// The console's append: caret to the end, scroll there, insert.
inline void AppendAtEnd(HWND view, const wchar_t* text)
{
    const LRESULT end = ::SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
    ::SendMessageW(view, EM_SETSEL, end, end);
    ::SendMessageW(view, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

// Paints what waits to be painted in the dialog and handles what that queued, as the console's
// window would between appends.
inline void PaintNow(HWND dialog)
{
    ::UpdateWindow(dialog);
    PumpQueued();
}

// The dialog, shown and painted once; its view without a text limit. nullptr if it failed.
inline HWND ShowPlainDialog()
{
    HWND dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONSOLE_DIALOG), nullptr,
                                       PlainDialogProc, 0);
    if (!dialog)
        return nullptr;
    ::SendDlgItemMessageW(dialog, IDC_LOG_VIEW, EM_SETLIMITTEXT, 0, 0);
    ::ShowWindow(dialog, SW_SHOW);
    PaintNow(dialog);
    return dialog;
}

// The dialog's log view control, for the console's own CLogView over it.
inline CEdit ViewEdit(HWND dialog)
{
    CEdit edit;
    edit.m_hWnd = ::GetDlgItem(dialog, IDC_LOG_VIEW);
    return edit;
}

} // namespace zelbench
