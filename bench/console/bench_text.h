#pragma once
// The bench's log text: every client's numbered frames, as the console shows them and as the
// ceiling appends them.
#include <cstdint>
#include <string>
#include <vector>

namespace zelbench {

struct BenchLoad {
    int clients = 1;
    int64_t framesPerClient = 0;
    size_t frameSize = 100;

    int64_t Frames() const { return clients * framesPerClient; }
};

// What one client sends: its frames, each a 4-byte little-endian length and the text.
std::string ClientStream(const BenchLoad& load, int client);
// All frames' text in UTF-16, client after client, and where each frame ends.
std::wstring ViewText(const BenchLoad& load, std::vector<size_t>* frameEnds);

} // namespace zelbench
