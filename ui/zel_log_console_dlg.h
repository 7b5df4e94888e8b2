#pragma once
// The console window: the local address, the buttons and the log view.
#include "log/flush_scheduler.h"
#include "log/log_pipe.h"
#include "log/thread_turns.h"
#include "net/host_resolver.h"
#include "net/zel_server_socket.h"
#include "platform/button.h"
#include "platform/dialog_ex.h"
#include "platform/edit.h"
#include "platform/message_map.h"
#include "res/resource.h"
#include "ui/log_view.h"
#include "ui/save_log_prompts.h"

class CZelLogConsoleDlg : public CDialogEx, private CFlushScheduler::Window {
public:
    explicit CZelLogConsoleDlg(CWnd* parent = nullptr);
    ~CZelLogConsoleDlg() override;

    // Appends text at the very end of the log view and scrolls there.
    void AppendLog(CString text);
    // Starts the log service when it is stopped, stops it when it listens.
    void ToggleLogService();

    // Where the minimised window draws its icon: centred in the client area.
    static POINT IconOrigin(const RECT& client, int iconWidth, int iconHeight);

    // Tests stand in for the machine's name service; must be set before the window is created.
    void SetHostResolver(CHostResolver* resolver) { m_pResolver = resolver; }
    // Tests give the view a smaller capacity, in characters; a quarter of it is freed at a time.
    void SetViewCapacity(size_t chars) { m_view.SetCapacity(chars); }
    // Tests read what the view holds beyond its text: the line breaks it put in itself.
    const CLogView& View() const { return m_view; }
    // Tests stand in for the save dialog and the message boxes of saving the log.
    void SetSaveLogPrompts(CSaveLogPrompts* prompts) { m_pSavePrompts = prompts; }
    // Test builds listen on a port of their own, so that several consoles run side by side; the
    // program itself always listens on kLogServicePort.
    void SetServicePort(UINT port) { m_servicePort = port; }

    HICON m_hIcon;
    CEdit m_editAddress;
    CZelServerSocket m_serverSocket;
    CEdit m_editLog;
    CButton m_btnService;
    bool m_bListening = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnBnClickedService();
    void OnBnClickedClearLog();
    void OnBnClickedSaveLog();
    void OnFlushLog();
    void OnTurnTimer(UINT_PTR timerId);

private:
    using MessageEntry = ::MessageEntry<CZelLogConsoleDlg>;
    static const MessageEntry kMessages[];

    void ConnectPipe(CLogPipe& pipe);
    void EndKeepingView();
    void EndLogServiceForClose();

    // The window side of the flush and of the thread's turns: the view's message and timers,
    // and what waits in the queue.
    void PostStep() override;
    void SetTimer(uintptr_t id, unsigned afterMs) override;
    void KillTimer(uintptr_t id) override;
    bool InputWaits(bool orPaint) const override;
    void ValidateView() override;
    void InvalidateView() override;

    CLogView m_view{m_editLog};
    CFlushViewOf<CLogView> m_flushView{m_view};
    CThreadTurns m_turns;
    CFlushScheduler m_flush;

    CHostResolver m_defaultResolver;
    CHostResolver* m_pResolver = &m_defaultResolver;
    CSaveLogPrompts m_defaultSavePrompts;
    CSaveLogPrompts* m_pSavePrompts = &m_defaultSavePrompts;
    UINT m_servicePort = kLogServicePort;
};
