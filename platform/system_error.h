#pragma once
// The system's own words for an error code, for messages the operator reads.
#include <windows.h>

#include "platform/cstring.h"

// The system's description of code with the number after it, e.g. "拒绝访问。 (5)".
CString SystemErrorText(DWORD code);
