#pragma once
// Text without line breaks through the real console: one client sends it, and the view is
// watched until it holds all of it, while the window's answers are sampled.
//
//   zel_bench --unbroken [--no-ceiling]: a 1 MiB frame with no line break; 1 M characters in
//       10,000 frames of 100 without CR LF; a small frame right after a 70,000-letter frame;
//       then the unbroken-text ceiling, and the console's rates as ratios of it.
//   zel_bench --large [LIMIT_SECONDS]: a 16 MiB frame of 100-character lines, then a 16 MiB
//       frame with no line break, stopped after LIMIT_SECONDS (default 360) with its rate so far.
//   zel_bench --unbroken-large [LIMIT_SECONDS]: the 16 MiB frame with no line break alone
//       (default limit 120 s), then the view saved through the save dialog: the file must hold
//       the frame's text as sent, byte for byte.
//   zel_bench --behind-unbroken [MIB]: client A sends one frame of MIB (default 4) MiB without a
//       line break; a second after A began, client B sends one short line. How soon B's line
//       shows, after all of A's frame.
// The view ends rows of its own in a line that runs on past four rows: the texts are compared
// with the view's CR LFs taken out.

namespace zelbench {

int UnbrokenMain(bool ceilingToo);
int LargeFramesMain(int limitSeconds);
int UnbrokenLargeMain(int limitSeconds);
int BehindUnbrokenMain(int mebibytes);

} // namespace zelbench
