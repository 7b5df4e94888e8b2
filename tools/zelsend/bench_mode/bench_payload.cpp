#include "bench_mode/bench_payload.h"

#include <stdexcept>

namespace zelsend {
namespace {

void WriteHeader(char* out, int client, int64_t seq, size_t size)
{
    out[0] = 'c';
    PutBenchDigits(out + 1, static_cast<uint64_t>(client), 3);
    out[4] = ' ';
    out[5] = 's';
    PutBenchDigits(out + 6, static_cast<uint64_t>(seq), 8);
    out[14] = ' ';
    out[15] = 'n';
    PutBenchDigits(out + 16, size, 6);
    out[22] = ' ';
}

} // namespace

void PutBenchDigits(char* out, uint64_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// A frame wider than a console's row has words of nine letters, as long log lines have them, so
// that it wraps at a space; a shorter one is letters only.
char BenchFillerAt(int client, int64_t seq, size_t pos, size_t size)
{
    if (size > kBenchWordsAbove && pos % 10 == 9)
        return ' ';
    const uint64_t start = static_cast<uint64_t>(client) * 7 + static_cast<uint64_t>(seq);
    return static_cast<char>('a' + (start + pos) % 26);
}

std::string MakeBenchPayload(int client, int64_t seq, size_t size)
{
    if (client < 0 || client >= kBenchMaxClients || seq < 0 || seq >= kBenchMaxFrames)
        throw std::out_of_range("bench client or sequence number out of range");
    if (size < kBenchMinSize || size > kBenchMaxSize)
        throw std::out_of_range("bench frame size out of range");
    std::string text(size, ' ');
    WriteHeader(&text[0], client, seq, size);
    for (size_t i = kBenchHeaderSize; i + 2 < size; ++i)
        text[i] = BenchFillerAt(client, seq, i, size);
    text[size - 2] = '\r';
    text[size - 1] = '\n';
    return text;
}

} // namespace zelsend
