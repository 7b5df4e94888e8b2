#pragma once
// What the console's decoding of one frame costs, in-process, for frames up to 16 MiB: a
// whole frame is decoded in one go on the window's thread, so this is a step the window
// cannot answer during, whatever the pipe does after.
//
//   zel_bench --decode-cost

namespace zelbench {

int DecodeCostMain();

} // namespace zelbench
