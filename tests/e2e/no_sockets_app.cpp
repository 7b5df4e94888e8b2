// ZelLogConsole as it starts on a machine whose sockets library cannot be started: the real
// application with only that one step failing.
#include "app/zel_log_console_app.h"

class CNoSocketsApp : public CZelLogConsoleApp {
protected:
    BOOL StartSockets() override { return FALSE; }
};

CNoSocketsApp theApp;
