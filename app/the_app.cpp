// The program's one application object, constructed before start-up and destroyed at exit.
#include "app/zel_log_console_app.h"

CZelLogConsoleApp theApp;
