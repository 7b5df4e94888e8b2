#pragma once
// A push button of a dialog. Holds the HWND; the dialog owns it.
#include "platform/wnd.h"

class CButton : public CWnd {};
