#pragma once
// The About box, opened from the console window's system menu.
#include "platform/dialog_ex.h"
#include "res/resource.h"

class CAboutDlg : public CDialogEx {
public:
    // Owned by the window it is opened from, so that window waits while the box is open.
    explicit CAboutDlg(CWnd* parent = nullptr) : CDialogEx(IDD_ABOUTBOX, parent) {}
};
