#include "ui/zel_log_console_dlg.h"

#include "log/log_registry.h"
#include "platform/win_app.h"
#include "ui/about_dlg.h"

const CZelLogConsoleDlg::MessageEntry CZelLogConsoleDlg::kMessages[] = {
    OnMessage(WM_SYSCOMMAND, &CZelLogConsoleDlg::OnSysCommand),
    OnMessage(WM_PAINT, &CZelLogConsoleDlg::OnPaint),
    OnMessage(WM_QUERYDRAGICON, &CZelLogConsoleDlg::OnQueryDragIcon),
    OnClicked(IDC_SERVICE_BUTTON, &CZelLogConsoleDlg::OnBnClickedService),
    OnClicked(IDC_CLEAR_LOG, &CZelLogConsoleDlg::OnBnClickedClearLog),
    OnClicked(IDC_SAVE_LOG, &CZelLogConsoleDlg::OnBnClickedSaveLog),
    OnMessage(WM_ZEL_FLUSHLOG, &CZelLogConsoleDlg::OnFlushLog),
};

CZelLogConsoleDlg::CZelLogConsoleDlg(CWnd* parent)
    : CDialogEx(IDD_CONSOLE_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

CZelLogConsoleDlg::~CZelLogConsoleDlg()
{
    // Connections outlive the window: they must not reach a view that is gone.
    CLogRegistry* registry = CLogRegistry::GetInstance();
    if (registry->m_pLogEdit == &m_editLog)
        registry->m_pLogEdit = nullptr;
}

bool CZelLogConsoleDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (DispatchMessageMap(*this, kMessages, message, wParam, lParam, result))
        return true;
    // A command that no control of the window handles goes on to the application (help).
    CWinApp* app = AfxGetApp();
    if (message != WM_COMMAND || !app || !app->OnCmdMsg(LOWORD(wParam), HIWORD(wParam)))
        return false;
    result = 0;
    return true;
}

void CZelLogConsoleDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LOCAL_ADDRESS, m_editAddress);
    DDX_Control(pDX, IDC_LOG_VIEW, m_editLog);
    DDX_Control(pDX, IDC_SERVICE_BUTTON, m_btnService);
}

BOOL CZelLogConsoleDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();

    if (HMENU sysMenu = GetSystemMenu(FALSE)) {
        wchar_t about[128] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 128) > 0) {
            ::AppendMenuW(sysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    m_editAddress.SetWindowText(LocalAddressText(*m_pResolver).c_str());
    m_bListening = false;

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // The control's default limit would silently cut off appended text.
    m_editLog.SetLimitText(0);
    CLogRegistry* registry = CLogRegistry::GetInstance();
    registry->m_pLogEdit = &m_editLog;
    if (!registry->m_pending.Empty())
        Post(WM_ZEL_FLUSHLOG);
    return TRUE;
}

// The About item of the system menu opens the About box; everything else is the system's.
void CZelLogConsoleDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return;
    }
    ::DefWindowProcW(m_hWnd, WM_SYSCOMMAND, nID, lParam);
}

POINT CZelLogConsoleDlg::IconOrigin(const RECT& client, int iconWidth, int iconHeight)
{
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    return POINT{(width - iconWidth + 1) / 2, (height - iconHeight + 1) / 2};
}

// Minimised, the window draws its icon centred; otherwise it paints as any dialog.
void CZelLogConsoleDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialogEx::OnPaint();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(&client);
    const POINT at = IconOrigin(client, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(dc, at.x, at.y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

// The cursor shown while the minimised window is dragged.
HCURSOR CZelLogConsoleDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CZelLogConsoleDlg::AppendToView(const CString& text)
{
    const int end = m_editLog.GetWindowTextLength();
    m_editLog.SetSel(end, end);
    m_editLog.ScrollCaret();
    m_editLog.ReplaceSel(text.c_str(), FALSE);
}

void CZelLogConsoleDlg::FlushAll()
{
    CPendingLog& pending = CLogRegistry::GetInstance()->m_pending;
    if (!pending.Empty())
        AppendToView(pending.TakeAll());
}

void CZelLogConsoleDlg::AppendLog(CString text)
{
    // Frames that arrived before this line must stay before it.
    FlushAll();
    AppendToView(text);
}

// Text from connections is waiting: move one slice of it into the view, and ask again for the
// rest, so that painting and the operator's input get their turn between slices.
void CZelLogConsoleDlg::OnFlushLog()
{
    CPendingLog& pending = CLogRegistry::GetInstance()->m_pending;
    if (pending.Empty())
        return;
    const CString slice = pending.TakeSlice();

    LARGE_INTEGER frequency, start, stop;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    AppendToView(slice);
    ::QueryPerformanceCounter(&stop);
    pending.RecordAppend(slice.size(), 1000.0 * double(stop.QuadPart - start.QuadPart) / double(frequency.QuadPart));

    if (!pending.Empty())
        Post(WM_ZEL_FLUSHLOG);
}

// Empties the view. Text still waiting to be shown arrived before the click, so it goes too.
void CZelLogConsoleDlg::OnBnClickedClearLog()
{
    CLogRegistry::GetInstance()->m_pending.Clear();
    m_editLog.SetWindowText(L"");
}
