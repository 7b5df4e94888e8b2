#include "port/error_text.h"

#include <winsock2.h>
#include <windows.h>

namespace zelsend {

namespace {

// Winsock's common failures in plain words; Wine has no message text for most of them.
const char* PlainWords(int code)
{
    switch (code) {
    case WSAECONNREFUSED:
        return "connection refused (is the console listening?)";
    case WSAETIMEDOUT:
        return "timed out";
    case WSAECONNRESET:
        return "connection reset by the peer";
    case WSAECONNABORTED:
        return "connection aborted";
    case WSAEHOSTUNREACH:
        return "host unreachable";
    case WSAENETUNREACH:
        return "network unreachable";
    case WSAHOST_NOT_FOUND:
        return "host not found";
    case WSATRY_AGAIN:
        return "host not found (temporary failure)";
    case WSANO_DATA:
        return "host has no address";
    case WSAEADDRINUSE:
        return "address already in use";
    case WSAEADDRNOTAVAIL:
        return "address not available on this machine";
    case WSAEACCES:
        return "permission denied";
    case WSANOTINITIALISED:
        return "the socket library was not started";
    default:
        return nullptr;
    }
}

} // namespace

std::string SystemErrorText(int code)
{
    std::string text;
    if (const char* plain = PlainWords(code)) {
        text = plain;
    } else {
        char system[256] = {};
        DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   static_cast<DWORD>(code), 0, system, sizeof system, nullptr);
        while (n > 0 &&
               (system[n - 1] == '\n' || system[n - 1] == '\r' || system[n - 1] == '.' || system[n - 1] == ' '))
            system[--n] = '\0';
        text = n > 0 ? system : "error";
    }
    return text + " (" + std::to_string(code) + ")";
}

int LastSocketError()
{
    return ::WSAGetLastError();
}

} // namespace zelsend
