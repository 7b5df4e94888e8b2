#include "bench_text.h"

#include <windows.h>

#include <algorithm>

#include "bench_mode/bench_payload.h"
#include "testkit/wire_text.h"

namespace zelbench {

std::string ClientStream(const BenchLoad& load, int client)
{
    std::string stream;
    stream.reserve(static_cast<size_t>(load.framesPerClient) * (std::max(load.frameSize, load.frameSizeMax) + 4));
    for (int64_t seq = 0; seq < load.framesPerClient; ++seq) {
        const std::string payload = zelsend::MakeBenchPayload(client, seq, load.SizeOf(client, seq));
        stream += Frame(payload);
    }
    return stream;
}

std::wstring ViewText(const BenchLoad& load, std::vector<size_t>* frameEnds)
{
    std::wstring text;
    text.reserve(load.Chars());
    for (int client = 0; client < load.clients; ++client) {
        for (int64_t seq = 0; seq < load.framesPerClient; ++seq) {
            // Bench payloads are ASCII: each byte is one UTF-16 unit.
            const std::string payload = zelsend::MakeBenchPayload(client, seq, load.SizeOf(client, seq));
            text.append(payload.begin(), payload.end());
            if (frameEnds)
                frameEnds->push_back(text.size());
        }
    }
    return text;
}

} // namespace zelbench
