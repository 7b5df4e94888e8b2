#include "port/stop_signal.h"

#include <signal.h>
#include <unistd.h>

namespace zelsend {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The first asks the bridge to stop, which hands its last lines over first; a second quits at
// once, giving them up (the view then lacks their count, as this says).
void OnSignal(int)
{
    if (!g_stop.exchange(true))
        return;
    static const char kQuit[] = "zelsend: stopped at once; lines still queued for the console are lost\n";
    (void)!::write(2, kQuit, sizeof kQuit - 1);
    ::_exit(130);
}

} // namespace

const std::atomic<bool>& InstallStopHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return g_stop;
}

// Only Windows ends the process when its close handler returns; signals here just set the flag.
void StoppedCleanly()
{
}

} // namespace zelsend
