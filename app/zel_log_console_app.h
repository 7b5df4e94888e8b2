#pragma once
// The application: prepares the platform, starts the sockets library and runs the console window.
#include "platform/win_app.h"

class CZelLogConsoleApp : public CWinApp {
public:
    CZelLogConsoleApp();
    BOOL InitInstance() override;
};
