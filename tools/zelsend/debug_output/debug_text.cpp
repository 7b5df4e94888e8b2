#include "debug_output/debug_text.h"

#include "common/unicode_text.h"

namespace zelsend {

std::string DebugOutputText(std::string_view ansi, const TextDecoder& decoder, std::string_view prefix,
                            const LineRules& rules, std::string_view stamp)
{
    const std::string utf8 = RepairUtf8(decoder.Converts() ? decoder.ToUtf8(ansi) : std::string(ansi));
    std::string out;
    out.reserve(utf8.size() + 2 + prefix.size() + stamp.size());
    size_t begin = 0;
    do {
        size_t end = utf8.find('\n', begin);
        const bool last = end == std::string::npos;
        if (last)
            end = utf8.size();
        size_t stop = end;
        if (stop > begin && utf8[stop - 1] == '\r')
            --stop;
        rules.Append(out, std::string_view(utf8).substr(begin, stop - begin), stamp, prefix);
        begin = end + 1;
    } while (begin < utf8.size());
    return out;
}

std::string ProcessPrefix(uint32_t pid, std::string_view exeName)
{
    const size_t slash = exeName.find_last_of("\\/");
    if (slash != std::string_view::npos)
        exeName.remove_prefix(slash + 1);
    return "[" + std::to_string(pid) + " " + std::string(exeName.empty() ? "?" : exeName) + "] ";
}

} // namespace zelsend
