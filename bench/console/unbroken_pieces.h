#pragma once
// What one append costs the log view at the end of an unbroken run, by the run already in the
// view and by the piece appended, down to a single character: the figures that the console's
// limits on unbroken runs follow (log/pending_log.h).
//
//   zel_bench --unbroken-pieces MAX_CHARS SECONDS
//
// Builds one run without line breaks in the console's own view (CLogView on the console's dialog
// template, painting after each append) and, each time the run passes the next of 16 Ki, 64 Ki,
// 256 Ki, 512 Ki, 1 Mi, 2 Mi, 3 Mi, 4 Mi ... characters, times three appends of each piece size
// (1, 64, 256, 1 Ki, 4 Ki characters) and prints their medians. Stops at MAX_CHARS or after
// SECONDS, whichever comes first; then, after a line break, what a line of 100 characters and
// 64 Ki characters of such lines cost.

namespace zelbench {

int UnbrokenPiecesMain(long long maxChars, int seconds);

} // namespace zelbench
