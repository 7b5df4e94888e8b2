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

namespace {
// Whether a line (without its CR LF) is the start of a numbered line, not all of it: it ends
// inside the header "c007 s00000123 n000100 ", or holds less than the size the header names.
bool UnfinishedBenchLine(std::string_view line)
{
    static constexpr std::string_view kHeader = "c### s######## n###### "; // '#': a digit
    for (size_t i = 0; i < std::min(line.size(), kHeader.size()); ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (kHeader[i] == '#' ? !digit : line[i] != kHeader[i])
            return false;
    }
    if (line.size() < kHeader.size())
        return !line.empty();
    size_t size = 0;
    for (size_t i = 16; i < 22; ++i)
        size = size * 10 + static_cast<size_t>(line[i] - '0');
    return line.size() + 2 < size;
}
} // namespace

std::string WithoutViewBreaks(std::string_view view)
{
    std::string text;
    text.reserve(view.size());
    size_t lineStart = 0; // where the line being copied starts in `text`
    for (size_t at = 0; at < view.size(); ++at) {
        if (view.compare(at, 2, "\r\n") != 0) {
            text.push_back(view[at]);
            continue;
        }
        const std::string_view line(text.data() + lineStart, text.size() - lineStart);
        // A numbered line that goes on after an unbroken frame, on the same line, is the only
        // one that can run past four rows.
        const size_t lastCapital = line.find_last_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        const bool viewsOwn = lastCapital != std::string_view::npos &&
                              (lastCapital + 1 == line.size() || UnfinishedBenchLine(line.substr(lastCapital + 1)));
        if (viewsOwn && at + 2 < view.size()) {
            ++at; // the line goes on after the view's CR LF
            continue;
        }
        text += "\r\n";
        ++at;
        lineStart = text.size();
    }
    return text;
}

std::string CheckSoakView(std::string_view shown, int clients, int64_t linesPerClient, int unbrokenFrames,
                          size_t unbrokenSize)
{
    const std::string text = WithoutViewBreaks(shown);
    const std::string_view view = text;
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
