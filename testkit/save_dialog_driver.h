#pragma once
// Finds the platform's save dialog and message boxes from outside the code that opened them
// (another thread or another process) and answers them as an operator would: the dialog by
// its class and owner, its fields by their standard control ids.
#include <windows.h>

#include <string>
#include <vector>

#include "testkit/wait.h"
#include "testkit/window_probe.h"

namespace savedlg {

constexpr int kFileNameEdit = 1152;  // the item dialog's file name field (edt1)
constexpr int kFileNameCombo = 1148; // the older dialog's file name field (cmb13)
constexpr int kFileTypeCombo = 1136; // the list of filters (cmb1)
constexpr int kMessageText = 0xFFFF; // a message box's text

struct OwnedSearch {
    DWORD processId;
    HWND owner;
    HWND found;
};

inline BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<OwnedSearch*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !::IsWindowVisible(window) || ClassOf(window) != L"#32770" ||
        ::GetWindow(window, GW_OWNER) != search->owner)
        return TRUE;
    search->found = window;
    return FALSE;
}

// A visible dialog of the process owned by owner (nullptr: one without owner); waits up to the limit.
inline HWND WaitForOwnedDialog(DWORD processId, HWND owner, DWORD limitMs = 20000)
{
    OwnedSearch search{processId, owner, nullptr};
    WaitUntil(
        [&] {
            ::EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limitMs, [] { ::Sleep(20); });
    return search.found;
}

// Until the window is closed or hidden, running `between` after each look (by default a 10 ms sleep).
inline bool WaitUntilGone(
    HWND window, DWORD limitMs = 20000, const std::function<void()>& between = [] { ::Sleep(10); })
{
    return WaitUntil([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }, limitMs, between);
}

inline BOOL CALLBACK FirstEdit(HWND window, LPARAM lParam)
{
    if (ClassOf(window) != L"Edit")
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

// The edit field the operator types the file name into; nullptr when the window has none.
inline HWND FileNameField(HWND dialog)
{
    HWND field = ::GetDlgItem(dialog, kFileNameEdit);
    if (field && ::IsWindowVisible(field) && ClassOf(field) == L"Edit")
        return field;
    HWND combo = ::GetDlgItem(dialog, kFileNameCombo);
    if (!combo)
        return nullptr;
    HWND edit = nullptr;
    ::EnumChildWindows(combo, FirstEdit, reinterpret_cast<LPARAM>(&edit));
    return edit;
}

// The names of the filters, in the order the dialog lists them.
inline std::vector<std::wstring> FileTypes(HWND dialog)
{
    std::vector<std::wstring> names;
    HWND combo = ::GetDlgItem(dialog, kFileTypeCombo);
    const LRESULT count = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        std::wstring name(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        const LRESULT copied = ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name.data()));
        name.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
        names.push_back(name);
    }
    return names;
}

// Presses one of the window's buttons without waiting for what the press sets off.
inline void Press(HWND window, int buttonId)
{
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, buttonId)));
}

// Types the name into the file name field and presses the save button.
inline bool ConfirmName(HWND dialog, const std::wstring& name)
{
    HWND field = FileNameField(dialog);
    if (!field)
        return false;
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), SMTO_ABORTIFHUNG, 5000,
                          &ignored);
    Press(dialog, IDOK);
    return true;
}

// The buttons of a dialog (control ids of its Button children that show).
inline std::vector<int> VisibleButtons(HWND dialog)
{
    std::vector<int> ids;
    for (HWND child : Children(dialog)) {
        if (ClassOf(child) == L"Button" && ::IsWindowVisible(child))
            ids.push_back(::GetDlgCtrlID(child));
    }
    return ids;
}

// True when a message box shows an icon: a visible icon picture among its children that holds one.
inline bool ShowsIcon(HWND box)
{
    for (HWND child : Children(box)) {
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child) &&
            ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
            return true;
    }
    return false;
}

} // namespace savedlg
