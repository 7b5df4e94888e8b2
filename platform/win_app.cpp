#include "platform/win_app.h"

namespace {
CWinApp* g_app = nullptr;

CString ModuleBaseName()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    CString name(path);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != CString::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != CString::npos)
        name.erase(dot);
    return name;
}
} // namespace

CWinApp::CWinApp(const wchar_t* appName)
{
    g_app = this;
    if (appName)
        m_appName = appName;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    if (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART)
        ::RegisterApplicationRestart(nullptr, 0);
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

CWinApp* AfxGetApp()
{
    return g_app;
}

const wchar_t* AfxGetAppName()
{
    static CString fallback;
    if (g_app) {
        if (g_app->m_appName.empty())
            g_app->m_appName = ModuleBaseName();
        return g_app->m_appName.c_str();
    }
    if (fallback.empty())
        fallback = ModuleBaseName();
    return fallback.c_str();
}

CString LoadResourceString(UINT id)
{
    const wchar_t* text = nullptr;
    // Length 0 asks for a pointer into the resource itself, which is not zero-terminated.
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || !text)
        return CString();
    return CString(text, static_cast<size_t>(length));
}

int AfxMessageBox(const wchar_t* text, UINT type)
{
    HWND owner = nullptr;
    if (g_app && g_app->m_pMainWnd)
        owner = g_app->m_pMainWnd->m_hWnd;
    return ::MessageBoxW(owner, text, AfxGetAppName(), type);
}

int AfxMessageBox(UINT promptId, UINT type)
{
    return AfxMessageBox(LoadResourceString(promptId).c_str(), type);
}
