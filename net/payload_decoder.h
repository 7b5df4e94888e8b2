#pragma once
// Turns a frame's UTF-8 payload into the view's UTF-16 text by way of the system's ANSI code
// page, so the view shows the payload as far as that code page holds it.
#include "platform/cstring.h"

// payload: zero-terminated; the text ends at its first zero byte. Invalid UTF-8 gives "".
CString DecodePayload(const char* payload);
