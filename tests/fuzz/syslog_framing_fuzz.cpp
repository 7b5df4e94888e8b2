// libFuzzer target for the syslog relay's framing and text repair (tools/zelsend/syslog/syslog_framing):
// what any machine that reaches the relay's port may send. Input: [bound] [split seed] [stream].
// The stream is fed to one SyslogStream in one read and to another in reads whose sizes the
// seed picks; it aborts when the two disagree, when a stream holds more than its bound, or when
// a line is not what the console can show whole (valid UTF-8, no NUL, CR LF at its end, no
// longer than the repair of a bound's worth of bytes). The stream is also taken as a datagram.
#include "syslog/syslog_framing.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zelsend;

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// Written apart from the repair it checks: decodes each code point and refuses overlong forms,
// surrogates, code points past U+10FFFF and NUL.
bool ValidUtf8WithoutNul(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > s.size() || c == 0)
            return false;
        uint32_t cp = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (t & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

void CheckLine(const std::string& line, size_t bound)
{
    // " [cut: N bytes in all]" with N up to 20 digits, then CR LF.
    Check(line.size() >= 3 && line.size() <= 3 * bound + 40);
    Check(line.compare(line.size() - 2, 2, "\r\n") == 0);
    Check(ValidUtf8WithoutNul(line));
}

std::vector<std::string> Whole(std::string_view stream, size_t bound)
{
    SyslogStream syslog(bound);
    std::vector<std::string> lines;
    syslog.Feed(stream, lines);
    Check(syslog.HeldBytes() <= syslog.Bound());
    syslog.Finish(lines);
    return lines;
}

std::vector<std::string> InReads(std::string_view stream, size_t bound, uint32_t seed)
{
    SyslogStream syslog(bound);
    std::vector<std::string> lines;
    for (size_t at = 0; at < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const size_t size = (seed >> 16) % 40; // 0 is an empty read
        const std::string_view read = stream.substr(at, size);
        syslog.Feed(read, lines);
        Check(syslog.HeldBytes() <= syslog.Bound());
        at += read.size();
    }
    syslog.Finish(lines);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t bound = SyslogStream::kMinBound + data[0] * 4u;
    const uint32_t seed = data[1];
    const std::string_view stream(reinterpret_cast<const char*>(data + 2), size - 2);

    const std::vector<std::string> whole = Whole(stream, bound);
    Check(InReads(stream, bound, seed) == whole);
    for (const std::string& line : whole)
        CheckLine(line, bound);

    const std::string datagram = SyslogDatagramLine(stream, bound);
    if (!datagram.empty())
        CheckLine(datagram, bound);
    // A message that needs no repair shows as it is.
    const bool plain = stream.size() <= bound &&
                       stream.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos &&
                       ValidUtf8WithoutNul(std::string(stream));
    if (plain)
        Check(datagram == (stream.empty() ? std::string() : std::string(stream) + "\r\n"));
    return 0;
}
