#pragma once
// The system clipboard, for text.
#include <windows.h>

#include <string_view>

// Puts `text` on the clipboard as Unicode text, in place of what it held; `owner` is the window
// that copies. False when the clipboard could not be had or the memory not found.
bool SetClipboardText(HWND owner, std::wstring_view text);
