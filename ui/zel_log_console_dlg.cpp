#include "ui/zel_log_console_dlg.h"

#include <algorithm>
#include <utility>

#include "log/log_registry.h"
#include "platform/fault.h"
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
    OnTimer(&CZelLogConsoleDlg::OnTurnTimer),
};

namespace {
double NowMs()
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}
} // namespace

CZelLogConsoleDlg::CZelLogConsoleDlg(CWnd* parent)
    : CDialogEx(IDD_CONSOLE_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_turns(
          CLogRegistry::GetInstance()->m_pipe, *this, [this] { return m_view.NeedsPaint(); }, NowMs),
      m_flush(CLogRegistry::GetInstance()->m_pipe, m_turns, m_flushView, *this)
{
}

CZelLogConsoleDlg::~CZelLogConsoleDlg()
{
    // Connections outlive the window: they must not reach a view that is gone.
    CLogRegistry* registry = CLogRegistry::GetInstance();
    if (registry->m_pLogEdit != &m_editLog)
        return;
    registry->m_pLogEdit = nullptr;
    registry->m_pipe.Connect(nullptr); // m_turns, going after this, lets paused readers go on
    SetFaultReporter(nullptr);
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
    m_view.Attach();
    CLogRegistry* registry = CLogRegistry::GetInstance();
    registry->m_pLogEdit = &m_editLog;
    ConnectPipe(registry->m_pipe);
    return TRUE;
}

// The pipe goes to the flush, which takes it into the view. Faults are shown in the view.
void CZelLogConsoleDlg::ConnectPipe(CLogPipe& pipe)
{
    HWND self = m_hWnd;
    m_flush.ConnectPipe();
    // A fault may have ended a flush step before it asked for the next: the report asks anew.
    SetFaultReporter([&pipe, self](const CString& what) {
        pipe.Offer(L"内部错误：" + what + L"，控制台继续运行。\r\n");
        ::PostMessageW(self, WM_ZEL_FLUSHLOG, 0, 0);
    });
    if (!pipe.Empty())
        Post(WM_ZEL_FLUSHLOG);
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

void CZelLogConsoleDlg::AppendLog(CString text)
{
    m_flush.Append(std::move(text));
}

// Text from connections is waiting: the flush makes one step.
void CZelLogConsoleDlg::OnFlushLog()
{
    m_flush.Step();
}

void CZelLogConsoleDlg::OnTurnTimer(UINT_PTR timerId)
{
    m_flush.OnTimer(timerId);
}

void CZelLogConsoleDlg::EndKeepingView()
{
    m_flush.EndKeepingView();
}

// Empties the view. Text still waiting to be shown arrived before the click, so it goes too.
void CZelLogConsoleDlg::OnBnClickedClearLog()
{
    m_flush.Clear();
}

// Connections may still offer text once the window has gone; a message or timer for no window
// would go to the thread instead.
void CZelLogConsoleDlg::PostStep()
{
    if (m_hWnd)
        Post(WM_ZEL_FLUSHLOG);
}

void CZelLogConsoleDlg::SetTimer(uintptr_t id, unsigned afterMs)
{
    if (m_hWnd)
        ::SetTimer(m_hWnd, id, std::max<UINT>(USER_TIMER_MINIMUM, afterMs), nullptr);
}

void CZelLogConsoleDlg::KillTimer(uintptr_t id)
{
    ::KillTimer(m_hWnd, id);
}

bool CZelLogConsoleDlg::InputWaits(bool orPaint) const
{
    return HIWORD(::GetQueueStatus(orPaint ? QS_INPUT | QS_PAINT : QS_INPUT)) != 0;
}

void CZelLogConsoleDlg::ValidateView()
{
    ::ValidateRect(m_editLog.m_hWnd, nullptr);
}

void CZelLogConsoleDlg::InvalidateView()
{
    ::InvalidateRect(m_editLog.m_hWnd, nullptr, TRUE);
}
