#include "port/stop_signal.h"

#include <signal.h>

namespace zelsend {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnSignal(int)
{
    g_stop = true;
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
