#pragma once
// What every bench run against the real console needs: the console with its service started,
// client connections to it, and its memory.
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench_stats.h"
#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/test_client.h"

namespace zelbench {

// A blocking connection to the console's log service on this machine; holds nothing if refused.
inline UniqueSocket ConnectClient()
{
    UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const sockaddr_in to = Ipv4(INADDR_LOOPBACK, kFixedConsolePort);
    if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return UniqueSocket();
    return s;
}

// A connection as ConnectClient makes it; when refused, prints `failure` on a line of its own.
inline UniqueSocket ConnectOrSay(const char* failure)
{
    UniqueSocket s = ConnectClient();
    if (!s)
        std::printf("%s\n", failure);
    return s;
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

// Waits until the view holds at least `length` characters, looking every `pollMs`; seconds
// taken, or -1 at the limit or once the console has gone.
inline double WaitForViewLength(const CConsoleProcess& console, size_t length, double limitSeconds, DWORD pollMs)
{
    const double start = Now();
    while (Now() - start < limitSeconds && Alive(console)) {
        const int now = console.TextLength(IDC_LOG_VIEW);
        if (now >= 0 && static_cast<size_t>(now) >= length)
            return Now() - start;
        ::Sleep(pollMs);
    }
    return -1;
}

// The console serving, before any client: its view's length (the status line) and its working
// set; or, in `error`, why it is not.
struct IdleConsole {
    const char* error = nullptr;
    size_t viewLength = 0;
    double workingSetMB = 0;
};

inline IdleConsole StartIdle(CConsoleProcess& console)
{
    IdleConsole idle;
    idle.error = console.StartWithService();
    if (idle.error)
        return idle;
    const int length = console.TextLength(IDC_LOG_VIEW);
    if (length < 0) {
        idle.error = "the view could not be read";
        return idle;
    }
    idle.viewLength = static_cast<size_t>(length);
    idle.workingSetMB = WorkingSetMB(console);
    return idle;
}

// The console serving and idle; says why when it is not.
inline IdleConsole Served(CConsoleProcess& console)
{
    const IdleConsole idle = StartIdle(console);
    if (idle.error)
        std::printf("FAILED: %s\n", idle.error);
    return idle;
}

// Runs `load(console, idle)` on a fresh console serving and idle; 1, saying why, when it did not
// start.
template <class Load>
int OnServedConsole(Load load)
{
    CConsoleProcess console;
    const IdleConsole served = Served(console);
    return served.error ? 1 : load(console, served);
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
