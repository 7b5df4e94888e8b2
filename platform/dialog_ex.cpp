#include "platform/dialog_ex.h"

#include "platform/fault.h"

void DDX_Control(CDataExchange* pDX, int controlId, CWnd& control)
{
    control.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(controlId);
}

CDialogEx::CDialogEx(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_hParent(parent ? parent->m_hWnd : nullptr)
{
}

CDialogEx::~CDialogEx()
{
    // A modeless dialog still open must not call back into a destroyed object.
    if (m_hWnd && !m_modal)
        DestroyWindow();
}

INT_PTR CDialogEx::DoModal()
{
    m_modal = true;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_hParent, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

BOOL CDialogEx::Create(HWND parent)
{
    m_modal = false;
    if (parent)
        m_hParent = parent;
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_hParent, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void CDialogEx::DestroyWindow()
{
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
}

void CDialogEx::EndDialog(int result)
{
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
        return;
    }
    DestroyWindow();
}

BOOL CDialogEx::OnInitDialog()
{
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialogEx::OnPaint()
{
    PAINTSTRUCT ps;
    ::BeginPaint(m_hWnd, &ps);
    ::EndPaint(m_hWnd, &ps);
}

// These messages return their result from the dialog procedure itself, not through DWLP_MSGRESULT.
static bool ReturnsResultDirectly(UINT message)
{
    return message == WM_QUERYDRAGICON || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
           message == WM_CHARTOITEM || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

INT_PTR CDialogEx::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, result)) {
        if (ReturnsResultDirectly(message))
            return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    // Enter, Escape and the close box arrive as IDOK/IDCANCEL: the default dialog actions end it.
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

// No exception leaves the dialog procedure: one from a handler is reported, and the message
// counts as not handled.
INT_PTR CALLBACK CDialogEx::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Route(hwnd, message, wParam, lParam);
    } catch (...) {
        ReportCurrentFault();
        return FALSE;
    }
}

INT_PTR CDialogEx::Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogEx*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->HandleMessage(message, wParam, lParam);
}
