#include "decode_cost.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_stats.h"
#include "bench_text.h"
#include "net/payload_decoder.h"

namespace zelbench {

int DecodeCostMain()
{
    std::printf("%10s %14s %14s\n", "frame", "letters ms", "lines ms");
    for (size_t size : {64u * 1024, 1024u * 1024, 4u * 1024 * 1024, 16u * 1024 * 1024}) {
        const std::string letters = Letters(0, size);
        std::string lines = letters;
        for (size_t at = 98; at + 1 < lines.size(); at += 100) {
            lines[at] = '\r';
            lines[at + 1] = '\n';
        }
        Samples letterMs, lineMs;
        for (int i = 0; i < 3; ++i) {
            double start = Now();
            const size_t a = DecodePayload(letters.c_str()).size();
            letterMs.Add((Now() - start) * 1000);
            start = Now();
            const size_t b = DecodePayload(lines.c_str()).size();
            lineMs.Add((Now() - start) * 1000);
            if (a != size || b != size) {
                std::printf("FAILED: decoded %zu and %zu characters of %zu\n", a, b, size);
                return 1;
            }
        }
        std::printf("%7zu Ki %14.1f %14.1f\n", size / 1024, letterMs.Median(), lineMs.Median());
    }
    return 0;
}

} // namespace zelbench
