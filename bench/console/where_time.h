#pragma once
// Where the console's thread spends a burst of ordinary lines, by message: the real console
// window (CZelLogConsoleDlg, in this process) with its service started and K clients sending N
// numbered frames of SIZE bytes from threads of their own, through real sockets. The bench runs
// the window's message loop itself and times
// - each message it dispatches, by kind: flush steps, socket notifications (reads, splitting,
//   decoding and queueing the frames), the turn timer, paints from the loop, anything else;
// - the waits for the next message (the thread idle: reads paused or nothing to do);
// - inside those, every message that reaches the log view, by kind: the length queries, the
//   caret moves, the scrolls, the appends (EM_REPLACESEL), the paints, the trims.
// Every dispatch over 80 ms is listed with what the view did in it. Then the same text through
// the line ceiling (a plain control, 1 Mi slices) in a process of its own, for the ratio in the
// same run. --mix adds the soak's other loads meanwhile: every second a 200,000-letter frame
// without a line break, and 6 clients that send 30,000 bytes of a large frame and reset.
//
//   zel_bench --where-time K N SIZE [--mix]

namespace zelbench {

int WhereTimeMain(int clients, long long framesPerClient, int frameSize, bool mix);

} // namespace zelbench
