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

CZelLogConsoleDlg::CZelLogConsoleDlg(CWnd* parent)
    : CDialogEx(IDD_CONSOLE_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

CZelLogConsoleDlg::~CZelLogConsoleDlg()
{
    // Connections outlive the window: they must not reach a view that is gone.
    CLogRegistry* registry = CLogRegistry::GetInstance();
    if (registry->m_pLogEdit != &m_editLog)
        return;
    registry->m_pLogEdit = nullptr;
    registry->m_pipe.Connect(nullptr, nullptr, nullptr);
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
    CLogRegistry* registry = CLogRegistry::GetInstance();
    registry->m_pLogEdit = &m_editLog;
    ConnectPipe(registry->m_pipe);
    return TRUE;
}

namespace {
// Flush steps and reads go on behind the operator's input: timer messages come after input and paint.
constexpr UINT_PTR kTurnTimer = 1;
// Readers waiting for room look again whether idle frames may be shed for them.
constexpr UINT_PTR kShedTimer = 2;

// Whether the operator's input waits, or a paint that no flush step will do: while text waits,
// the flush steps paint the view themselves, and counting their paint would have reads give way
// every turn for nothing.
bool OthersWait(const CLogPipe& pipe)
{
    const UINT waiting = pipe.Empty() ? QS_INPUT | QS_PAINT : QS_INPUT;
    return HIWORD(::GetQueueStatus(waiting)) != 0;
}
} // namespace

// The pipe wakes the window when text starts waiting, and asks it for a turn when reads have
// had the thread long enough while input or paint waited. Faults are shown in the view.
void CZelLogConsoleDlg::ConnectPipe(CLogPipe& pipe)
{
    HWND self = m_hWnd;
    pipe.Connect([self] { ::PostMessageW(self, WM_ZEL_FLUSHLOG, 0, 0); }, [this] { GiveInputATurn(); },
                 [&pipe] { return OthersWait(pipe); },
                 [self](double afterMs) {
                     ::SetTimer(self, kShedTimer, std::max<UINT>(USER_TIMER_MINIMUM, UINT(afterMs) + 1), nullptr);
                 });
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
    // Frames that arrived before this line must stay before it: behind them, it waits its turn.
    // So does a line that does not fit while the view keeps all for a save.
    CLogPipe& pipe = CLogRegistry::GetInstance()->m_pipe;
    if (!pipe.Empty() || (m_view.KeepsAll() && text.size() > m_view.Room())) {
        pipe.Offer(std::move(text));
        return;
    }
    m_view.Append(text);
}

namespace {
double NowMs()
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}
} // namespace

// Text from connections is waiting. One bounded step per message, so the window answers
// between steps: a band of the view's paint while one is due or under way, else a piece of a
// large frame's decoding when that frame is next, else the removal of the oldest text when the
// next slice would not fit, else the append of one slice.
void CZelLogConsoleDlg::OnFlushLog()
{
    CLogPipe& pipe = CLogRegistry::GetInstance()->m_pipe;
    if (pipe.Empty())
        return;

    // A slice never needs more than the room that one removal makes. While a save keeps the
    // whole view, a slice takes only the room left; with none left, the text waits in the pipe
    // (its readers pause at its high-water mark) until the save ends.
    size_t most = m_view.Capacity() / 4;
    if (m_view.KeepsAll()) {
        most = std::min(most, m_view.Room());
        if (most == 0) {
            m_flushWaitsForSave = true;
            return;
        }
    }

    const double start = NowMs();
    if (m_paintPacer.PaintStep(start, m_view.NeedsPaint())) {
        m_view.PaintBand(m_paintPacer.Band(), m_paintPacer.Bands());
        const double end = NowMs();
        m_paintPacer.BandPainted(end, end - start);
    } else if (pipe.MakingFirst()) {
        pipe.MakeStep();
    } else if (!m_view.MakeRoomFor(pipe.NextSliceChars(most))) {
        const CString slice = pipe.TakeSlice(most);
        m_view.Append(slice);
        pipe.RecordAppend(slice.size(), NowMs() - start);
    }
    NextFlushStep();
}

// Asks for the next step while text waits. Posted messages come before the operator's input,
// so when input is waiting the next step comes after it, at most every kInputTurnMs, so that a
// stream of input (the mouse moving over the window) does not take the flush down to one step
// per turn.
void CZelLogConsoleDlg::NextFlushStep()
{
    if (CLogRegistry::GetInstance()->m_pipe.Empty())
        return;
    const double now = NowMs();
    if (now - m_lastInputTurnMs >= kInputTurnMs && HIWORD(::GetQueueStatus(QS_INPUT)) != 0) {
        m_lastInputTurnMs = now;
        m_flushOnTimer = true;
        GiveInputATurn();
        return;
    }
    Post(WM_ZEL_FLUSHLOG);
}

// Lets input and paint in before the next flush step and the next reads, by timer. While text
// waits, the view's own paint stays with the flush steps, which split it when it is dear; the
// message loop would paint it whole before the timer comes.
void CZelLogConsoleDlg::GiveInputATurn()
{
    if (!CLogRegistry::GetInstance()->m_pipe.Empty()) {
        m_viewPaintHeld = m_viewPaintHeld || m_view.NeedsPaint();
        ::ValidateRect(m_editLog.m_hWnd, nullptr);
    }
    ::SetTimer(m_hWnd, kTurnTimer, USER_TIMER_MINIMUM, nullptr);
}

void CZelLogConsoleDlg::OnTurnTimer(UINT_PTR timerId)
{
    if (timerId == kShedTimer) {
        ::KillTimer(m_hWnd, kShedTimer);
        CLogRegistry::GetInstance()->m_pipe.ShedIdle();
        return;
    }
    if (timerId != kTurnTimer)
        return;
    ::KillTimer(m_hWnd, kTurnTimer);
    if (m_viewPaintHeld)
        ::InvalidateRect(m_editLog.m_hWnd, nullptr, TRUE);
    m_viewPaintHeld = false;
    CLogRegistry::GetInstance()->m_pipe.EndTurn();
    // Only the flush's own turn goes on flushing: a turn the reads asked for while flush steps
    // were posted would start a second chain of them.
    if (std::exchange(m_flushOnTimer, false))
        OnFlushLog();
}

// The save has written its file or was cancelled: the oldest text may go again, and text that
// waited for room flows on.
void CZelLogConsoleDlg::EndKeepingView()
{
    m_view.KeepAll(false);
    if (std::exchange(m_flushWaitsForSave, false))
        Post(WM_ZEL_FLUSHLOG);
}

// Empties the view. Text still waiting to be shown arrived before the click, so it goes too.
void CZelLogConsoleDlg::OnBnClickedClearLog()
{
    CLogRegistry::GetInstance()->m_pipe.Clear();
    m_view.Clear();
}
