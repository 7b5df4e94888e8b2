#pragma once
// What saving the log asks of the operator: where to write, and reading how it went. Tests
// stand in for the operator.
#include "platform/cstring.h"
#include "platform/wnd.h"

class CSaveLogPrompts {
public:
    virtual ~CSaveLogPrompts() = default;
    // The save dialog. The full path of the chosen file; false when the operator cancelled.
    virtual bool AskPath(CString& path);
    // A message box owned by the console window, captioned with the application's name.
    virtual void Tell(CWnd& owner, const CString& text, UINT type);
};
