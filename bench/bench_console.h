#pragma once
// What every bench run against the real console needs: the console with its service started,
// client connections to it, and its memory.
#include <winsock2.h>

#include <psapi.h>

#include <algorithm>
#include <string>

#include "console_process.h"
#include "res/resource.h"
#include "tests/common/test_client.h"

namespace zelbench {

// A blocking connection to the console's log service on this machine; holds nothing if refused.
inline UniqueSocket ConnectClient()
{
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in to = Ipv4(INADDR_LOOPBACK, kConsolePort);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return UniqueSocket();
    return s;
}

constexpr double kMB = 1024.0 * 1024.0; // the bench prints MiB as MB
constexpr size_t kMi = 1024 * 1024;

inline PROCESS_MEMORY_COUNTERS Memory(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters;
}

inline double WorkingSetMB(const CConsoleProcess& console)
{
    return static_cast<double>(Memory(console.Process()).WorkingSetSize) / kMB;
}

inline double PeakWorkingSetMB(const CConsoleProcess& console)
{
    return static_cast<double>(Memory(console.Process()).PeakWorkingSetSize) / kMB;
}

inline bool Alive(const CConsoleProcess& console)
{
    return ::WaitForSingleObject(console.Process(), 0) == WAIT_TIMEOUT;
}

// Sends every byte, in writes of 64 KiB; false when the connection failed.
inline bool SendAll(SOCKET s, const char* bytes, size_t size)
{
    constexpr size_t kWrite = 64 * 1024;
    for (size_t at = 0; at < size;) {
        const int n = ::send(s, bytes + at, static_cast<int>(std::min(kWrite, size - at)), 0);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

inline bool SendAll(SOCKET s, const std::string& bytes)
{
    return SendAll(s, bytes.data(), bytes.size());
}

} // namespace zelbench
