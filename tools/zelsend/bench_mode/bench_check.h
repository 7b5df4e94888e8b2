#pragma once
// The check of bench frames as the console shows them (bench_payload.h), for the benches and
// tests that read the console's text back; zelsend itself only sends them.
#include "bench_mode/bench_payload.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelsend {

struct BenchCheck {
    std::vector<int64_t> framesSeen; // per client: distinct frames that arrived intact
    int64_t duplicates = 0;          // intact frames seen again
    int64_t outOfOrder = 0;          // intact frames that came after a later one of their client
    int64_t missing = 0;             // frames never seen intact (a corrupt frame is also missing)
    int64_t corrupt = 0;             // lines with a bench header that do not match it
    int64_t ignored = 0;             // lines of other kinds, such as the console's status lines
    std::vector<std::string> notes;  // the first few problems, worded for a failure message

    bool Ok() const { return duplicates == 0 && outOfOrder == 0 && missing == 0 && corrupt == 0; }
    std::string Summary() const;
};

// Checks the text the console shows after `clients` clients each sent frames 0 to
// framesPerClient - 1. Frames of different clients may interleave; each must be whole.
// Throws std::out_of_range for counts outside the bench's limits.
BenchCheck VerifyBenchText(std::string_view text, int clients, int64_t framesPerClient);

} // namespace zelsend
