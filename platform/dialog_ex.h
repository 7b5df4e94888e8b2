#pragma once
// A dialog built from a template in the program's resources, run modally or modelessly.
// The object is bound to its HWND through the init parameter; messages reach the derived
// class's message map through OnWndMsg.
#include "platform/wnd.h"

class CDataExchange {
public:
    explicit CDataExchange(CWnd* dialog) : m_pDlgWnd(dialog) {}
    CWnd* m_pDlgWnd;
};

// Binds a control of the dialog to the wrapper that holds its HWND.
void DDX_Control(CDataExchange* pDX, int controlId, CWnd& control);

class CDialogEx : public CWnd {
public:
    explicit CDialogEx(UINT templateId, CWnd* parent = nullptr);
    ~CDialogEx() override;
    CDialogEx(const CDialogEx&) = delete;
    CDialogEx& operator=(const CDialogEx&) = delete;

    // Shows the dialog and runs its own message loop until it ends; returns the ending action's id.
    INT_PTR DoModal();
    // Creates the dialog without a loop of its own; the caller's loop delivers its messages.
    BOOL Create(HWND parent = nullptr);
    void DestroyWindow();
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // The derived class's message map. False: the message gets the default processing.
    virtual bool OnWndMsg(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
    void OnPaint();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR Route(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hParent;
    bool m_modal = false;
};
