#include "common/unicode_text.h"

#include <cstdint>

namespace zelsend {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

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

bool InRange(unsigned char c, unsigned char low, unsigned char high)
{
    return c >= low && c <= high;
}

// The bytes after `lead` that its sequence needs, and the range its first one must fall in
// (narrower after E0, ED, F0 and F4: no overlong forms, surrogates or code points past
// U+10FFFF); -1 for a byte that cannot start a sequence.
int SequenceTail(unsigned char lead, unsigned char& low, unsigned char& high)
{
    low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (!InRange(lead, 0xC2, 0xF4))
        return -1;
    return lead <= 0xDF ? 1 : lead <= 0xEF ? 2 : 3;
}

} // namespace

void AppendRepairedUtf8(std::string& out, std::string_view text)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        size_t plain = i;
        while (plain < n && s[plain] != 0 && s[plain] < 0x80)
            ++plain;
        out.append(text.data() + i, plain - i);
        if (plain == n)
            return;
        i = plain;
        if (s[i] == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        unsigned char low = 0, high = 0;
        const int tail = SequenceTail(s[i], low, high);
        size_t j = i + 1;
        for (int k = 0; k < tail && j < n && InRange(s[j], low, high); ++k, ++j) {
            low = 0x80;
            high = 0xBF;
        }
        if (tail > 0 && j - i == static_cast<size_t>(tail) + 1)
            out.append(text.data() + i, j - i);
        else
            out += kReplacement;
        i = j;
    }
}

std::string RepairUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    AppendRepairedUtf8(out, bytes);
    return out;
}

size_t WithoutCutSequence(std::string_view text)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t lead = text.size();
    for (size_t back = 0; back < 3 && lead > 0 && (s[lead - 1] & 0xC0) == 0x80; ++back)
        --lead;
    if (lead == 0)
        return text.size();
    unsigned char low = 0, high = 0;
    const int tail = SequenceTail(s[lead - 1], low, high);
    return tail > 0 && text.size() - lead < static_cast<size_t>(tail) ? lead - 1 : text.size();
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
        if (c == 0 || (c >= 0xD800 && c <= 0xDFFF))
            out += kReplacement;
        else
            AppendUtf8(out, c);
    }
    if (at < bytes.size())
        out += kReplacement;
    return out;
}

} // namespace zelsend
