#pragma once
// What an operator would notice while the console is under load, sampled from outside: the
// window's round trip, how long changed parts of the view wait to be painted and, when asked,
// how soon the console acts on key presses.
#include <windows.h>

#include <atomic>
#include <thread>

#include "bench_round_trips.h"
#include "bench_stats.h"

namespace zelbench {

struct WatchFigures {
    Samples roundTripMs; // SendMessageTimeout to the window
    Samples staleMs;     // how long changed parts of the view waited to be painted
    Samples keyMs;       // from a Tab key pressed until the console moved the focus
    int keysLost = 0;    // key presses the console had not acted on after 10 s
};

// The window's round trips and, when keys were pressed, how soon the console acted on them.
void PrintRoundTrips(const WatchFigures& figures);

// Samples from construction until Stop. With `pressKeys`, an operator's keyboard is at work
// too: Tab and Shift+Tab in turn, 200 ms after the console acted on the last one.
class Watcher {
public:
    Watcher(HWND window, HWND view, bool pressKeys, WatchFigures& figures);
    ~Watcher() { Stop(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    void Stop();

private:
    void WatchPaint(HWND view);
    void PressKeys(HWND window);

    std::atomic<bool> m_stop{false};
    WatchFigures& m_figures;
    RoundTrips m_roundTrips;
    std::thread m_paints;
    std::thread m_keys;
};

} // namespace zelbench
