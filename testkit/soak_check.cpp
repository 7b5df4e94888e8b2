#include "soak_check.h"

#include <algorithm>

#include "bench_mode/bench_check.h"

namespace zelbench {

std::string UnbrokenLetters(size_t count)
{
    std::string letters(count, 'A');
    for (size_t i = 0; i < count; ++i)
        letters[i] = static_cast<char>('A' + i % 26);
    return letters;
}

std::string CheckSoakView(std::string_view view, int clients, int64_t linesPerClient, int unbrokenFrames,
                          size_t unbrokenSize)
{
    const std::string unbroken = UnbrokenLetters(unbrokenSize);
    std::string lines;
    lines.reserve(view.size());
    int runs = 0;
    for (size_t at = 0; at < view.size();) {
        if (view[at] < 'A' || view[at] > 'Z') {
            lines.push_back(view[at++]);
            continue;
        }
        // Frames follow each other whole, so two unbroken frames may stand together.
        if (view.compare(at, unbrokenSize, unbroken) != 0)
            return "an unbroken frame was cut or changed, at character " + std::to_string(at);
        at += unbrokenSize;
        ++runs;
    }
    if (runs != unbrokenFrames)
        return std::to_string(runs) + " unbroken frames shown of " + std::to_string(unbrokenFrames);
    const zelsend::BenchCheck check = zelsend::VerifyBenchText(lines, clients, linesPerClient);
    return check.Ok() ? "" : check.Summary();
}

} // namespace zelbench
