#include "common/unicode_text.h"

#include <cstdint>

namespace zelsend {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at `at`, or 0 when it is not one.
size_t ValidSequence(std::string_view s, size_t at)
{
    const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = b(at);
    if (lead < 0x80)
        return 1;
    size_t size = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (at + size > s.size() || b(at + 1) < low || b(at + 1) > high)
        return 0;
    for (size_t i = 2; i < size; ++i)
        if ((b(at + i) & 0xC0) != 0x80)
            return 0;
    return size;
}

} // namespace

std::string RepairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const size_t size = ValidSequence(bytes, at);
        if (size == 0) {
            out += kReplacement;
            ++at;
        } else {
            out.append(bytes.substr(at, size));
            at += size;
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    const auto unit = [&](size_t i) {
        const auto b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<uint32_t>(bigEndian ? b0 << 8 | b1 : b1 << 8 | b0);
    };
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    size_t at = 0;
    for (; at + 2 <= bytes.size(); at += 2) {
        const uint32_t c = unit(at);
        if (c >= 0xD800 && c <= 0xDBFF && at + 4 <= bytes.size()) {
            const uint32_t low = unit(at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            out += kReplacement;
        else
            AppendUtf8(out, c);
    }
    if (at < bytes.size())
        out += kReplacement;
    return out;
}

} // namespace zelsend
