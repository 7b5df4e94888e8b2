#include "bench_text.h"

#include <windows.h>

#include "bench_payload.h"

namespace zelbench {

std::string ClientStream(const BenchLoad& load, int client)
{
    std::string stream;
    stream.reserve(static_cast<size_t>(load.framesPerClient) * (load.frameSize + 4));
    for (int64_t seq = 0; seq < load.framesPerClient; ++seq) {
        const std::string payload = zelsend::MakeBenchPayload(client, seq, load.frameSize);
        const uint32_t n = static_cast<uint32_t>(payload.size());
        const char length[4] = {char(n & 0xFF), char(n >> 8 & 0xFF), char(n >> 16 & 0xFF), char(n >> 24 & 0xFF)};
        stream.append(length, 4);
        stream += payload;
    }
    return stream;
}

std::wstring ViewText(const BenchLoad& load, std::vector<size_t>* frameEnds)
{
    std::wstring text;
    text.reserve(static_cast<size_t>(load.Frames()) * load.frameSize);
    for (int client = 0; client < load.clients; ++client) {
        for (int64_t seq = 0; seq < load.framesPerClient; ++seq) {
            // Bench payloads are ASCII: each byte is one UTF-16 unit.
            const std::string payload = zelsend::MakeBenchPayload(client, seq, load.frameSize);
            text.append(payload.begin(), payload.end());
            if (frameEnds)
                frameEnds->push_back(text.size());
        }
    }
    return text;
}

std::string ToUtf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

} // namespace zelbench
