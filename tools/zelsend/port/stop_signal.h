#pragma once
// The one stop flag of a bridge: set by Ctrl+C, the console window closing, logoff or shutdown on
// Windows, and by SIGINT or SIGTERM elsewhere. Bridges look at it at least every 100 ms.
#include <atomic>

namespace zelsend {

// Installs the handlers (once) and returns the flag they set.
const std::atomic<bool>& StopOnInterrupt();

// Tells a Windows close or shutdown handler, which the system ends the process after, that the
// bridge has stopped and its last lines have gone: only then may it return.
void StoppedCleanly();

} // namespace zelsend
