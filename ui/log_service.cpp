// The console window's log service: the start/stop button and the listening socket.
#include "ui/zel_log_console_dlg.h"

namespace {
const wchar_t kCreateFailed[] = L"启动日志服务失败(-1)，请联系Zel客服人员！\r\n";
const wchar_t kListenFailed[] = L"启动日志服务失败(-2)，请联系Zel客服人员！\r\n";
const wchar_t kStarted[] = L"日志服务启动成功，正在侦听...\r\n";
const wchar_t kStopped[] = L"日志服务关闭成功!.\r\n";
const wchar_t kCaptionStart[] = L"启动";
const wchar_t kCaptionStop[] = L"关闭";
} // namespace

// The start/stop button: its caption names what a click will do.
void CZelLogConsoleDlg::OnBnClickedService()
{
    ToggleLogService();
}

void CZelLogConsoleDlg::ToggleLogService()
{
    if (m_bListening) {
        // Only the listener closes: clients already connected go on delivering.
        m_bListening = false;
        m_serverSocket.Close();
        AppendLog(kStopped);
        m_btnService.SetWindowText(kCaptionStart);
        return;
    }

    // The failure says which step failed; the service stays stopped and the caption as it was.
    const wchar_t* failed = nullptr;
    if (m_serverSocket.m_hSocket == INVALID_SOCKET && !m_serverSocket.Create(m_servicePort, SOCK_STREAM, FD_ACCEPT))
        failed = kCreateFailed;
    // The system's full backlog: clients that connect in a burst are all let in at once
    // rather than left to retry their connects.
    else if (::listen(m_serverSocket, SOMAXCONN) == SOCKET_ERROR)
        failed = kListenFailed;
    if (failed) {
        m_bListening = false;
        AppendLog(failed);
        m_serverSocket.Close();
        return;
    }
    m_bListening = true;
    AppendLog(kStarted);
    m_btnService.SetWindowText(kCaptionStop);
}

// Enter and Escape, the close box and the system menu's Close all end the window here. The
// clients learn it before anything else is torn down: each sees its connection end at once and
// keeps its next lines for the next console.
void CZelLogConsoleDlg::OnOK()
{
    EndLogServiceForClose();
    CDialogEx::OnOK();
}

void CZelLogConsoleDlg::OnCancel()
{
    EndLogServiceForClose();
    CDialogEx::OnCancel();
}

void CZelLogConsoleDlg::EndLogServiceForClose()
{
    m_bListening = false;
    m_serverSocket.CloseWithConnections();
}
