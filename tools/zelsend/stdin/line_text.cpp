#include "stdin/line_text.h"

namespace zelsend {

std::string LineToText(std::string_view line, bool addCrlf)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::string text(line);
    if (addCrlf)
        text += "\r\n";
    return text;
}

} // namespace zelsend
