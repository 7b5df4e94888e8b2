// Resource ids of ZelLogConsole, in bands: dialogs and strings in the 100s, controls in the 1000s.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONSOLE_DIALOG 102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME 128

#define IDC_LOCAL_ADDRESS 1000
#define IDC_LOG_VIEW 1001
#define IDC_SERVICE_BUTTON 1002
#define IDC_CLEAR_LOG 1003
#define IDC_SAVE_LOG 1004

// System menu command of the About item; the platform keeps its low four bits for itself.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
