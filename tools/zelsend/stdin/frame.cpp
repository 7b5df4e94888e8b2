#include "stdin/frame.h"

#include <stdexcept>

namespace zelsend {

void AppendFrame(std::string& out, std::string_view text)
{
    if (text.size() > kMaxFrameText)
        throw std::length_error("frame text longer than a frame can carry");
    const auto n = static_cast<uint32_t>(text.size());
    // Byte by byte, so the order is little-endian whatever the host's is.
    out.push_back(static_cast<char>(n & 0xFF));
    out.push_back(static_cast<char>((n >> 8) & 0xFF));
    out.push_back(static_cast<char>((n >> 16) & 0xFF));
    out.push_back(static_cast<char>((n >> 24) & 0xFF));
    out.append(text);
}

std::string EncodeFrame(std::string_view text)
{
    std::string out;
    out.reserve(4 + text.size());
    AppendFrame(out, text);
    return out;
}

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
