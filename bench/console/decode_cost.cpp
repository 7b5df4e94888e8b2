#include "decode_cost.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_stats.h"
#include "bench_text.h"
#include "net/payload_decoder.h"
#include "testkit/wire_text.h"

namespace zelbench {

int DecodeCostMain()
{
    std::printf("%10s %14s %14s %16s %20s\n", "frame", "letters ms", "lines ms", "steps of pieces", "longest step ms");
    for (size_t size : {64u * 1024, 1024u * 1024, 4u * 1024 * 1024, 16u * 1024 * 1024}) {
        const std::string letters = Letters(0, size);
        std::string lines = letters;
        for (size_t at = 98; at + 1 < lines.size(); at += 100) {
            lines[at] = '\r';
            lines[at + 1] = '\n';
        }
        Samples letterMs, lineMs, stepMs;
        int steps = 0;
        for (int i = 0; i < 3; ++i) {
            double start = Now();
            const size_t a = DecodePayload(letters.c_str()).size();
            letterMs.Add((Now() - start) * 1000);
            start = Now();
            const size_t b = DecodePayload(lines.c_str()).size();
            lineMs.Add((Now() - start) * 1000);
            // As the console decodes a frame over kPieceBytes: one piece per step of the window.
            CPayloadDecoder decoder(lines.data(), lines.size());
            steps = 0;
            for (bool made = false; !made; ++steps) {
                start = Now();
                made = decoder.Step();
                stepMs.Add((Now() - start) * 1000);
            }
            const size_t c = decoder.Take().size();
            if (a != size || b != size || c != size) {
                std::printf("FAILED: decoded %zu, %zu and %zu characters of %zu\n", a, b, c, size);
                return 1;
            }
        }
        std::printf("%7zu Ki %14.1f %14.1f %16d %20.1f\n", size / 1024, letterMs.Median(), lineMs.Median(), steps,
                    stepMs.Max());
    }
    // An ordinary frame: ASCII takes the short way; the same with one Chinese character takes
    // the code page's round trip.
    const std::string frame = Letters(0, 98) + "\r\n";
    const std::string chinese = "\xE4\xB8\xAD" + Letters(0, 95) + "\r\n";
    constexpr int kFrames = 100000;
    double start = Now();
    size_t chars = 0;
    for (int i = 0; i < kFrames; ++i)
        chars += DecodePayload(frame.c_str()).size();
    const double asciiUs = (Now() - start) * 1e6 / kFrames;
    start = Now();
    for (int i = 0; i < kFrames; ++i)
        chars += DecodePayload(chinese.c_str()).size();
    const double roundTripUs = (Now() - start) * 1e6 / kFrames;
    if (chars != kFrames * (frame.size() + chinese.size() - 2)) {
        std::printf("FAILED: 100-byte frames decoded to %zu characters\n", chars);
        return 1;
    }
    std::printf("a 100-byte frame, ASCII: %.2f us; with one Chinese character (the code page's round trip): %.2f us\n",
                asciiUs, roundTripUs);
    return 0;
}

} // namespace zelbench
