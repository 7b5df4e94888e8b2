#pragma once
// The save dialog: asks the operator for the name of a file to write. Uses the platform's
// newer (Vista-style) item dialog, and the older common dialog where that one is missing.
#include <windows.h>
// After windows.h: the OFN_ flags and the common dialog.
#include <commdlg.h>

#include <utility>
#include <vector>

#include "platform/cstring.h"
#include "platform/wnd.h"

class CFileDialog {
public:
    // defExt may carry a leading dot. flags are OFN_ flags; only OFN_OVERWRITEPROMPT matters to
    // the newer dialog, which would otherwise ask before replacing a file. filter is
    // "name|pattern|name|pattern||". With no parent, the application's main window owns it.
    CFileDialog(const wchar_t* defExt, const wchar_t* fileName, DWORD flags, const wchar_t* filter,
                CWnd* parent = nullptr, bool vistaStyle = true);

    // IDOK when the operator confirmed a name, IDCANCEL otherwise.
    INT_PTR DoModal();
    // The full path of the confirmed name.
    CString GetPathName() const { return m_pathName; }

    // Splits a "name|pattern|...||" filter into its (name, pattern) entries.
    static std::vector<std::pair<CString, CString>> ParseFilter(const wchar_t* filter);

private:
    // S_FALSE: the operator cancelled. Other failures: the item dialog is not available here.
    HRESULT ShowItemDialog(HWND owner);
    INT_PTR ShowCommonDialog(HWND owner);
    HWND Owner() const;

    CString m_defExt;
    CString m_fileName;
    DWORD m_flags;
    std::vector<std::pair<CString, CString>> m_filter;
    HWND m_hParent;
    bool m_vistaStyle;
    CString m_pathName;
};
