#include "app/zel_log_console_app.h"

#include <commctrl.h>

#include <memory>

#include "platform/async_socket.h"
#include "net/zel_server_socket.h"
#include "res/resource.h"
#include "ui/zel_log_console_dlg.h"

// A menu or accelerator command arrives with notification code 0, the same as a click.
// The program has no help content of its own: help goes to the base's handler.
const MessageEntry<CWinApp> CZelLogConsoleApp::kCommands[] = {
    OnClicked(ID_HELP, &CWinApp::OnHelp),
};

CZelLogConsoleApp::CZelLogConsoleApp()
{
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

bool CZelLogConsoleApp::OnCmdMsg(UINT id, UINT code)
{
    LRESULT result = 0;
    return DispatchMessageMap<CWinApp>(*this, kCommands, WM_COMMAND, MAKEWPARAM(id, code), 0, result);
}

BOOL CZelLogConsoleApp::StartSockets()
{
    return AfxSocketInit();
}

UINT CZelLogConsoleApp::ServicePort() const
{
    return kLogServicePort;
}

// Runs the console window and then lets the program end; FALSE in every case, so no second
// message loop follows the window's.
BOOL CZelLogConsoleApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);

    CWinApp::InitInstance();

    if (!StartSockets()) {
        AfxMessageBox(IDP_SOCKETS_INIT_FAILED);
        return FALSE;
    }

    AfxEnableControlContainer();
    auto shellManager = std::make_unique<CShellManager>();
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CZelLogConsoleDlg dlg;
    dlg.SetServicePort(ServicePort());
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    shellManager.reset();
    return FALSE;
}
