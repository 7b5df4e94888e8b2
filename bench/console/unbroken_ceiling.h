#pragma once
// The unbroken-text ceiling: how fast the log view's control itself takes text without line
// breaks. The control word-wraps, and wrapping costs more the longer the run one append
// carries, so a plain program appends pieces of one unbroken run to the console's own dialog
// template, painting after each, for a few piece sizes; the best of them is the ceiling.
#include <cstddef>
#include <vector>

namespace zelbench {

struct UnbrokenPiece {
    size_t pieceChars = 0;
    double seconds = 0;    // from the first append until the last piece is painted; 0: failed
    size_t chars = 0;      // in the control at the end
    double cpuSeconds = 0; // of the appending thread
    double appendMedianMs = 0, appendMaxMs = 0;
    double paintMedianMs = 0, paintMaxMs = 0;
    double Rate() const { return seconds > 0 ? static_cast<double>(chars) / seconds : 0; }
};

struct UnbrokenCeiling {
    std::vector<UnbrokenPiece> pieces; // one per piece size
    double bestRate = 0;               // characters per second, the best piece size's
    size_t bestPiece = 0;
};

// Appends `chars` characters of one unbroken run in pieces of 2, 4 and 8 Ki characters, each
// size in a plain process of its own (this program, started with `--unbroken-ceiling`).
UnbrokenCeiling RunUnbrokenCeiling(size_t chars);
// The child's side: prints the figures for RunUnbrokenCeiling. With `rowSeconds`, prints first
// how the cost grows with the run, a row every 256 Ki characters, and stops after that long:
// `zel_bench --unbroken-cost PIECE CHARS SECONDS`. With `noWrap`, into a control like the view
// that scrolls sideways instead of wrapping (`--no-wrap`).
int UnbrokenCeilingMain(size_t pieceChars, size_t chars, int rowSeconds = 0, bool noWrap = false);

} // namespace zelbench
