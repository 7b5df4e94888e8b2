// ZelLogConsole as it starts on a machine whose sockets library cannot be started: the real
// application with only that one step failing.
#include "testkit/test_port_app.h"

class CNoSocketsApp : public CTestPortApp {
protected:
    BOOL StartSockets() override { return FALSE; }
};

CNoSocketsApp theApp;
