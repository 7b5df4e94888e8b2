#pragma once
// The ceiling: how fast the log view's edit control itself takes the bench text, appended in
// large batches by a plain window built from the console's own dialog template, with none of
// the console's code. The console cannot show text faster than its control accepts it.
#include <cstddef>

namespace zelbench {

struct Spread {
    double median = 0, p99 = 0, max = 0; // milliseconds
};

struct CeilingResult {
    double seconds = 0; // from the first append until the last batch is painted; 0: failed
    double cpuSeconds = 0;
    double peakWorkingSetMB = 0; // of the whole plain program
    size_t chars = 0;            // in the control at the end
    int batches = 0;
    Spread append; // each batch's append
    Spread paint;  // the painting and other messages after each batch
};

// Runs the ceiling in a plain process of its own (this program, started with `--ceiling`), so
// that its memory is the control's and the process's alone.
CeilingResult RunCeilingProcess(int clients, long long framesPerClient, size_t frameSize, size_t batchChars);
// The child's side: appends the bench text in batches of whole frames of at most batchChars
// characters, and prints the figures for RunCeilingProcess.
int CeilingProcessMain(int clients, long long framesPerClient, size_t frameSize, size_t batchChars);

} // namespace zelbench
