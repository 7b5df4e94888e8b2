#pragma once
// zelsend's one way of turning a system's error code into words for the user.
#include <string>

namespace zelsend {

// Winsock's and Win32's codes on Windows (the common socket failures in plain words, others as
// the system words them), errno elsewhere; on Windows the number follows in brackets, since
// Wine has no text for many codes: "connection refused (is the console listening?)",
// "Only one usage of each socket address is normally permitted (10048)".
std::string SystemErrorText(int code);

// The last socket call's error code: WSAGetLastError() on Windows, errno elsewhere.
int LastSocketError();

} // namespace zelsend
