#pragma once
// An edit control of a dialog. Holds the HWND; the dialog owns it. Each method sends one message.
#include "platform/wnd.h"

class CEdit : public CWnd {
public:
    void SetSel(int start, int end) { Send(EM_SETSEL, start, end); }
    void GetSel(int& start, int& end) const
    {
        DWORD s = 0, e = 0;
        Send(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        start = static_cast<int>(s);
        end = static_cast<int>(e);
    }
    void ScrollCaret() { Send(EM_SCROLLCARET); }
    void ReplaceSel(const wchar_t* text, BOOL canUndo = FALSE)
    {
        Send(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    // The multi-line control's text buffer (a moveable local memory handle), and a new one for it.
    HLOCAL GetHandle() const { return reinterpret_cast<HLOCAL>(Send(EM_GETHANDLE)); }
    void SetHandle(HLOCAL text) { Send(EM_SETHANDLE, reinterpret_cast<WPARAM>(text)); }
    // 0 lifts the limit to the control's maximum.
    void SetLimitText(UINT maxChars) { Send(EM_SETLIMITTEXT, maxChars); }
};
