#pragma once
// The console as the tests start it: the real application, listening on the port the test was
// given (ConsolePort()) rather than the fixed one, so that tests that each start a console run
// side by side. Only test builds hold it; the program itself reads no port from anywhere.
#include "app/zel_log_console_app.h"
#include "testkit/console_texts.h"

class CTestPortApp : public CZelLogConsoleApp {
protected:
    UINT ServicePort() const override { return ConsolePort(); }
};
