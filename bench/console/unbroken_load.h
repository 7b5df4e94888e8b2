#pragma once
// Text without line breaks through the real console: one client sends it, and the view is
// watched until it holds all of it, while the window's answers are sampled.
//
//   zel_bench --unbroken [--no-ceiling]: a 1 MiB frame with no line break; 1 M characters in
//       10,000 frames of 100 without CR LF; a small frame right after a 70,000-letter frame;
//       then the unbroken-text ceiling, and the console's rates as ratios of it.
//   zel_bench --large [LIMIT_SECONDS]: a 16 MiB frame of 100-character lines, then a 16 MiB
//       frame with no line break, stopped after LIMIT_SECONDS (default 360) with its rate so far.

namespace zelbench {

int UnbrokenMain(bool ceilingToo);
int LargeFramesMain(int limitSeconds);

} // namespace zelbench
