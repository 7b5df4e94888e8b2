#pragma once
// The one stop flag of a bridge: set by Ctrl+C, the console window closing, logoff or shutdown on
// Windows, and by SIGINT or SIGTERM elsewhere. Bridges look at it at least every 100 ms.
#include <atomic>

namespace zelsend {

// Each side's: installs the handlers and returns the flag they set. Called once, from below.
const std::atomic<bool>& InstallStopHandlers();

// Installs the handlers (once) and returns the flag they set.
inline const std::atomic<bool>& StopOnInterrupt()
{
    static const std::atomic<bool>& stop = InstallStopHandlers();
    return stop;
}

// Tells a Windows close or shutdown handler, which the system ends the process after, that the
// bridge has stopped and its last lines have gone: only then may it return.
void StoppedCleanly();

} // namespace zelsend
