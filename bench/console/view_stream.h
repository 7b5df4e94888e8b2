#pragma once
// A long run: one client streams numbered frames to the real console without pause, far more
// text than the view can hold, while the window's answers and the process's memory are
// sampled. Prints a row when the view first holds 1, 4, 16 and 64 million characters, and when
// the text sent passes 128, 256, 512 and 1,000 million (and every further 500 million); each row
// covers the samples since the one before. Then checks that the view ends with the last frame
// and holds whole frames in order.
#include <cstddef>

namespace zelbench {

// Streams `millions` million characters in frames of `frameSize` bytes; gives up when the
// console shows nothing new for `stallSeconds` or the run passes `limitSeconds`.
int ViewStreamMain(int millions, size_t frameSize, int stallSeconds, int limitSeconds);

} // namespace zelbench
