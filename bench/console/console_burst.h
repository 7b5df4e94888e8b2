#pragma once
// The console under load, measured from outside as a user's programs would see it: clients
// send the bench frames, and the view is watched until it holds every one of them.
#include <string>

#include "bench_stats.h"
#include "bench_text.h"
#include "bench_watcher.h"

namespace zelbench {

struct BurstResult {
    std::string error;  // empty when the run completed
    double seconds = 0; // from the first byte sent until the view held every frame
    size_t viewChars = 0;
    int viewLines = 0;
    bool verified = false; // every frame once, whole, in per-client order
    std::string verifySummary;
    WatchFigures watched; // the window during the burst
    double peakWorkingSetMB = 0;
    double peakPrivateMB = 0;
    double idleWorkingSetMB = 0; // after start-up, before the burst
};

// With `pressKeys`, an operator's keyboard is at work during the burst too: Tab and Shift+Tab in
// turn, 200 ms after the console acted on the last one. With `focusView`, the log view has the
// keyboard focus, as when the operator has clicked into it.
BurstResult RunConsoleBurst(const BenchLoad& load, bool pressKeys, bool focusView = false);

} // namespace zelbench
