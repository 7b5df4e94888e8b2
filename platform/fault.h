#pragma once
// Where an exception that reached a window procedure is reported. No exception may cross a
// window procedure: each one catches, reports here and contains the damage, so the process
// never ends silently from inside a message.
#include <exception>
#include <functional>

#include "platform/cstring.h"

// Sets who hears of faults (the console shows them in its view); by default the debugger.
void SetFaultReporter(std::function<void(const CString& what)> reporter);
// Reports the exception being handled, in words; call from inside a catch block only.
void ReportCurrentFault();
