#pragma once
// The About box, opened from the console window's system menu.
#include "platform/dialog_ex.h"
#include "res/resource.h"

class CAboutDlg : public CDialogEx {
public:
    CAboutDlg() : CDialogEx(IDD_ABOUTBOX) {}
};
