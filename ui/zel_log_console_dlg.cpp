#include "ui/zel_log_console_dlg.h"

#include "log/log_registry.h"
#include "log/view_capacity.h"
#include "net/zel_socket.h"
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
    OnMessage(WM_TIMER, &CZelLogConsoleDlg::OnFlushTimer),
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

// Gives the empty view a roomy text buffer. Otherwise the control grows its buffer to the exact
// size on every append, which moves the whole text each time: appends then cost more the more
// the view holds, and the move needs the text twice in memory. Pages of the buffer are only
// touched as text fills it.
void CZelLogConsoleDlg::ReserveViewRoom()
{
    m_viewRoomy = true;
    HLOCAL roomy = ::LocalAlloc(LMEM_MOVEABLE, kViewRoomChars * sizeof(wchar_t));
    if (!roomy)
        return;
    *static_cast<wchar_t*>(::LocalLock(roomy)) = L'\0';
    ::LocalUnlock(roomy);
    HLOCAL previous = m_editLog.GetHandle();
    m_editLog.SetHandle(roomy);
    ::LocalFree(previous);
}

namespace {
// Locks a moveable local memory block, such as an edit control's text, while in scope.
class LockedLocal {
public:
    explicit LockedLocal(HLOCAL block) : m_hBlock(block), m_pData(block ? ::LocalLock(block) : nullptr) {}
    ~LockedLocal()
    {
        if (m_pData)
            ::LocalUnlock(m_hBlock);
    }
    LockedLocal(const LockedLocal&) = delete;
    LockedLocal& operator=(const LockedLocal&) = delete;
    const wchar_t* Text() const { return static_cast<const wchar_t*>(m_pData); }

private:
    HLOCAL m_hBlock;
    void* m_pData;
};
} // namespace

// Removes the oldest whole lines when `incoming` more characters would pass the view's capacity,
// reading the control's own buffer to find where a line ends, and keeps the view at its end.
// Returns whether any text went.
bool CZelLogConsoleDlg::MakeViewRoomFor(size_t incoming)
{
    const int length = m_editLog.GetWindowTextLength();
    if (static_cast<size_t>(length) + incoming <= m_viewCapacity)
        return false;
    size_t cut = 0;
    {
        const LockedLocal text(m_editLog.GetHandle());
        if (!text.Text())
            return false;
        cut = OldestLinesToTrim(std::wstring_view(text.Text(), static_cast<size_t>(length)), incoming,
                                m_viewCapacity);
    }
    if (cut == 0)
        return false;
    m_editLog.SetSel(0, static_cast<int>(cut));
    m_editLog.ReplaceSel(L"", FALSE);
    const int end = length - static_cast<int>(cut);
    m_editLog.SetSel(end, end);
    m_editLog.ScrollCaret();
    return true;
}

void CZelLogConsoleDlg::AppendToView(const CString& text)
{
    if (m_editLog.GetWindowTextLength() == 0 && !m_viewRoomy)
        ReserveViewRoom();
    MakeViewRoomFor(text.size());
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
    CZelSocket::ResumeWaiting();
}

void CZelLogConsoleDlg::AppendLog(CString text)
{
    // Frames that arrived before this line must stay before it.
    FlushAll();
    AppendToView(text);
}

namespace {
// Re-arms the flush behind the operator's input: timer messages come after input and paint.
constexpr UINT_PTR kFlushTimer = 1;

// Owns a GDI region.
class Region {
public:
    Region(int left, int top, int right, int bottom) : m_hRgn(::CreateRectRgn(left, top, right, bottom)) {}
    ~Region() { ::DeleteObject(m_hRgn); }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    operator HRGN() const { return m_hRgn; }

private:
    HRGN m_hRgn;
};

double NowMs()
{
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * double(now.QuadPart) / double(frequency.QuadPart);
}
} // namespace

// Text from connections is waiting. One bounded step per message, so the window answers
// between steps: a band of the view's paint while one is due or under way, else the append of
// one slice.
void CZelLogConsoleDlg::OnFlushLog()
{
    CPendingLog& pending = CLogRegistry::GetInstance()->m_pending;
    if (pending.Empty())
        return;

    const double start = NowMs();
    if (m_paintPacer.PaintStep(start, ::GetUpdateRect(m_editLog.m_hWnd, nullptr, FALSE) != FALSE)) {
        PaintViewBand(m_paintPacer.Band(), m_paintPacer.Bands());
        const double end = NowMs();
        m_paintPacer.BandPainted(end, end - start);
    } else if (MakeViewRoomFor(pending.NextSliceChars(m_viewCapacity / 4))) {
        // Making room is a pass over the whole view: a step of its own.
    } else {
        // A slice never needs more than the room that one trim makes.
        const CString slice = pending.TakeSlice(m_viewCapacity / 4);
        AppendToView(slice);
        pending.RecordAppend(slice.size(), NowMs() - start);
        CZelSocket::ResumeWaiting();
    }
    NextFlushStep();
}

// Paints one horizontal band of the view, of `bands` from the top; whatever else needs painting
// stays so, for the next steps.
void CZelLogConsoleDlg::PaintViewBand(int band, int bands)
{
    HWND view = m_editLog.m_hWnd;
    if (bands <= 1) {
        ::UpdateWindow(view);
        return;
    }
    RECT client;
    ::GetClientRect(view, &client);
    const int height = client.bottom - client.top;
    const Region inBand(client.left, client.top + height * band / bands, client.right,
                        client.top + height * (band + 1) / bands);
    const Region later(0, 0, 0, 0);
    ::GetUpdateRgn(view, later, FALSE);
    ::CombineRgn(later, later, inBand, RGN_DIFF);
    ::ValidateRgn(view, later);
    ::UpdateWindow(view);
    ::InvalidateRgn(view, later, TRUE);
}

// Asks for the next step while text waits. Posted messages come before the operator's input,
// so when input is waiting the next step comes by timer instead, after it; at most every
// kInputTurnMs, so that a stream of input (the mouse moving over the window) does not take
// the flush down to one step per turn.
void CZelLogConsoleDlg::NextFlushStep()
{
    if (CLogRegistry::GetInstance()->m_pending.Empty())
        return;
    const double now = NowMs();
    if (now - m_lastInputTurnMs >= kInputTurnMs && HIWORD(::GetQueueStatus(QS_INPUT)) != 0) {
        m_lastInputTurnMs = now;
        // The view's own paint stays with the flush steps, which split it when it is dear; the
        // message loop would paint it whole before the timer comes.
        m_viewPaintHeld = m_viewPaintHeld || ::GetUpdateRect(m_editLog.m_hWnd, nullptr, FALSE);
        ::ValidateRect(m_editLog.m_hWnd, nullptr);
        ::SetTimer(m_hWnd, kFlushTimer, USER_TIMER_MINIMUM, nullptr);
        return;
    }
    Post(WM_ZEL_FLUSHLOG);
}

void CZelLogConsoleDlg::OnFlushTimer(UINT nIDEvent, LPARAM)
{
    if (nIDEvent != kFlushTimer)
        return;
    ::KillTimer(m_hWnd, kFlushTimer);
    if (m_viewPaintHeld)
        ::InvalidateRect(m_editLog.m_hWnd, nullptr, TRUE);
    m_viewPaintHeld = false;
    OnFlushLog();
}

// Empties the view. Text still waiting to be shown arrived before the click, so it goes too.
void CZelLogConsoleDlg::OnBnClickedClearLog()
{
    CLogRegistry::GetInstance()->m_pending.Clear();
    CZelSocket::ResumeWaiting();
    m_editLog.SetWindowText(L"");
}
