#include "port/stop_signal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace zelsend {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

#ifdef _WIN32
HANDLE g_stopped = nullptr; // set by StoppedCleanly

// Runs on a thread of its own. For a closing window, logoff and shutdown, the system ends the
// process as soon as this returns, so it waits (within the system's 5 s) for the last lines.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    g_stop = true;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(g_stopped, 4000);
    return TRUE;
}
#else
void OnSignal(int)
{
    g_stop = true;
}
#endif

} // namespace

const std::atomic<bool>& StopOnInterrupt()
{
    static const bool installed = [] {
#ifdef _WIN32
        g_stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
        struct sigaction action = {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
#endif
        return true;
    }();
    (void)installed;
    return g_stop;
}

void StoppedCleanly()
{
#ifdef _WIN32
    if (g_stopped != nullptr)
        ::SetEvent(g_stopped);
#endif
}

} // namespace zelsend
