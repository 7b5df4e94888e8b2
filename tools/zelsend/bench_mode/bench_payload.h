#pragma once
// Bench frames whose text proves, once shown by the console, that every frame arrived whole,
// once and in order. A frame reads, for client 7, frame 123, 40 bytes:
//     "c007 s00000123 n000040 nopqrstuvwxyzab\r\n"
// The header names client, sequence number and total size; the filler letters continue a
// cycle that starts at a letter chosen by client and sequence number, so a frame that was cut,
// spliced into another or had bytes changed no longer matches what its header promises.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelsend {

constexpr int kBenchMaxClients = 1000;         // client numbers have 3 digits
constexpr int64_t kBenchMaxFrames = 100000000; // sequence numbers have 8 digits
constexpr size_t kBenchHeaderSize = 23;        // "c007 s00000123 n000040 "
constexpr size_t kBenchMinSize = kBenchHeaderSize + 2;
constexpr size_t kBenchMaxSize = 999999; // the size field has 6 digits

// Clients count from 0, sequence numbers from 0. Throws std::out_of_range past the limits above.
std::string MakeBenchPayload(int client, int64_t seq, size_t size);

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
