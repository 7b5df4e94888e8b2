#include "port/stop_signal.h"

#include <windows.h>

namespace zelsend {

namespace {

std::atomic<bool> g_stop{false};
HANDLE g_stopped = nullptr; // set by StoppedCleanly

// Runs on a thread of its own. For a closing window, logoff and shutdown, the system ends the
// process as soon as this returns, so it waits (within the system's 5 s) for the last lines.
// A second Ctrl+C or Ctrl+Break quits at once, giving the queued lines up.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    const bool again = g_stop.exchange(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(g_stopped, 4700);
    } else if (again) {
        static const char kQuit[] = "zelsend: stopped at once; lines still queued for the console are lost\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kQuit, sizeof kQuit - 1, &written, nullptr);
        ::TerminateProcess(::GetCurrentProcess(), 130);
    }
    return TRUE;
}

} // namespace

const std::atomic<bool>& InstallStopHandlers()
{
    g_stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    return g_stop;
}

void StoppedCleanly()
{
    if (g_stopped != nullptr)
        ::SetEvent(g_stopped);
}

} // namespace zelsend
