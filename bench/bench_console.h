#pragma once
// What every bench run against the real console needs: a client connection to it and its memory.
#include <winsock2.h>

#include <psapi.h>

namespace zelbench {

// A blocking connection to the console's log service on this machine; INVALID_SOCKET if refused.
inline SOCKET ConnectClient()
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(11925);
    to.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

inline PROCESS_MEMORY_COUNTERS Memory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters;
}

} // namespace zelbench
