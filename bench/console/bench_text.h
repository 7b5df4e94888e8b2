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
    // When above frameSize: frames of every size from frameSize to this, spread evenly.
    size_t frameSizeMax = 0;

    int64_t Frames() const { return clients * framesPerClient; }
    size_t SizeOf(int client, int64_t seq) const
    {
        if (frameSizeMax <= frameSize)
            return frameSize;
        const auto spread = static_cast<uint64_t>(frameSizeMax - frameSize + 1);
        return frameSize + static_cast<size_t>(
                               (static_cast<uint64_t>(seq) * 7919 + static_cast<uint64_t>(client) * 104729) % spread);
    }
    // Characters of all frames.
    size_t Chars() const
    {
        size_t chars = 0;
        for (int client = 0; client < clients; ++client)
            for (int64_t seq = 0; seq < framesPerClient; ++seq)
                chars += SizeOf(client, seq);
        return chars;
    }
};

// What one client sends: its frames, each a 4-byte little-endian length and the text.
std::string ClientStream(const BenchLoad& load, int client);
// All frames' text in UTF-16, client after client, and where each frame ends.
std::wstring ViewText(const BenchLoad& load, std::vector<size_t>* frameEnds);

} // namespace zelbench
