#pragma once
// zel_bench --soak MINUTES [--heaps]: the real console under a long mixed load, in rounds, until
// the minutes are up:
// - 12 clients connect, each sends 2,000 numbered lines of 100 bytes, and closes;
// - meanwhile 6 clients send the first 30,000 bytes of a 500,000-byte frame, then reset;
// - every third round, one client sends a 200,000-letter frame without a line break;
// - every fifth round, once all has shown, the view is checked and cleared ("清空日志").
// Prints the console's memory every minute (working set, private memory and the largest
// private allocations), what went through and whether any of it was lost, the window's round
// trips, and the machine. Its memory after the first clear, once idle, is the baseline: after
// the last round and a clear, idle again, it must be within 20 MB of it.
// --heaps runs the console with a report of its heaps (bench/console/heap_report_app.cpp) and prints
// that report with every row.
namespace zelbench {

int SoakMain(int minutes, bool heaps);

} // namespace zelbench
