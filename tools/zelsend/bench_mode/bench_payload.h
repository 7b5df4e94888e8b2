#pragma once
// Bench frames whose text proves, once shown by the console, that every frame arrived whole,
// once and in order. A frame reads, for client 7, frame 123, 40 bytes:
//     "c007 s00000123 n000040 nopqrstuvwxyzab\r\n"
// The header names client, sequence number and total size; the filler letters (in a frame over
// 120 bytes a space every ten characters) continue a cycle that starts at a letter chosen by
// client and sequence number, so a frame that was cut,
// spliced into another or had bytes changed no longer matches what its header promises.
#include <cstdint>
#include <string>
#include <string_view>

namespace zelsend {

constexpr int kBenchMaxClients = 1000;         // client numbers have 3 digits
constexpr int64_t kBenchMaxFrames = 100000000; // sequence numbers have 8 digits
constexpr size_t kBenchHeaderSize = 23;        // "c007 s00000123 n000040 "
constexpr size_t kBenchMinSize = kBenchHeaderSize + 2;
constexpr size_t kBenchMaxSize = 999999; // the size field has 6 digits

// Clients count from 0, sequence numbers from 0. Throws std::out_of_range past the limits above.
std::string MakeBenchPayload(int client, int64_t seq, size_t size);

// Frames larger than this have a space every ten characters.
constexpr size_t kBenchWordsAbove = 120;

// The filler letter at `pos` of frame `seq` of `client`, `size` bytes long.
char BenchFillerAt(int client, int64_t seq, size_t pos, size_t size);

// Writes `value` as the `width` digits of a header field, with leading zeros.
void PutBenchDigits(char* out, uint64_t value, int width);

} // namespace zelsend
