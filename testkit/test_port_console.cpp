// ZelTestConsole.exe: the console the end-to-end tests drive, on the port each test was given.
#include "testkit/test_port_app.h"

CTestPortApp theApp;
