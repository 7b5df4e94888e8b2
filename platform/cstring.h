#pragma once
// The program's text type: UTF-16, as the window controls hold it.
#include <string>

using CString = std::wstring;
