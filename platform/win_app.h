#pragma once
// The application object: one global instance, whose InitInstance the start-up code calls.
#include <windows.h>

#include "platform/cstring.h"
#include "platform/wnd.h"

// Restart after a crash or an update; no autosave or recovery of documents.
constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;
constexpr UINT ID_HELP = 0xE146;

class CWinApp {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // FALSE ends the program without a message loop of the application's own.
    virtual BOOL InitInstance();
    virtual int Run();
    // The standard help command; this program ships no help content, so it does nothing.
    virtual void OnHelp() {}
    // A command (id, notification code) that no window handled ends its route here.
    // True when the application handled it.
    virtual bool OnCmdMsg(UINT, UINT) { return false; }

    // Names the settings key. Nothing is stored under it, so it is only remembered.
    void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }

    CString m_appName; // the executable's file name without its extension, unless given
    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;

private:
    CString m_registryKey;
};

CWinApp* AfxGetApp();
// Captions message boxes that give none of their own.
const wchar_t* AfxGetAppName();

// Loads a string of the program's string table; "" when there is none.
CString LoadResourceString(UINT id);
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);
int AfxMessageBox(UINT promptId, UINT type = MB_OK);

// The class library's hosting of ActiveX controls and its shell integration: this program uses
// neither, so both do nothing here and exist only to keep start-up in its familiar shape.
inline void AfxEnableControlContainer()
{
}
class CShellManager {};
