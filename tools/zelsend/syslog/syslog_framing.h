#pragma once
// Syslog messages made into the console's lines: the framing of a TCP stream (octet-counted
// "LEN SP MSG" or ended by LF, split anywhere across reads), one datagram one message over UDP,
// and the repair of each message's text. No sockets, so tests and the fuzzer drive it directly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelsend {

// The most of one message a connection holds: syslog-ng's default message size, eight times
// rsyslog's. Bytes past it are dropped and the line says how long the message was.
constexpr size_t kSyslogBound = 64 * 1024;

// One message as the console shows it: its trailing LF, CR and NUL bytes gone; the rest
// repaired as every bridge repairs its text (RepairUtf8); each line break inside (LF, CR LF,
// CR) made CR LF, and CR LF at its end. `total` is the message's length as sent when only its
// first `message.size()` bytes were kept: the line then ends with " [cut: TOTAL bytes in all]". Empty when nothing of the message is left to show.
std::string SyslogLine(std::string_view message, uint64_t total = 0);

// One UDP datagram, cut at `bound` bytes.
std::string SyslogDatagramLine(std::string_view datagram, size_t bound = kSyslogBound);

// The messages of one TCP connection. Each frame is octet-counted when it starts with a digit
// (RFC 6587), otherwise it runs to the next LF or NUL, as rsyslog and syslog-ng tell them apart.
class SyslogStream {
public:
    explicit SyslogStream(size_t bound = kSyslogBound) : bound_(bound < kMinBound ? kMinBound : bound) {}

    // Takes the next bytes read; appends the line of each message they complete to `lines`.
    void Feed(std::string_view data, std::vector<std::string>& lines);
    // The connection has ended: a message it cut short is still shown, as far as it came.
    void Finish(std::vector<std::string>& lines);

    // Bytes held of the message in progress; never more than the bound.
    size_t HeldBytes() const { return held_.size(); }
    size_t Bound() const { return bound_; }
    // Messages shown only in part: longer than the bound, or cut short by the connection's end.
    uint64_t CutMessages() const { return cut_; }

    // Room for the longest octet count looked at, so that falling back to LF framing keeps it.
    static constexpr size_t kMinBound = 16;

private:
    enum class State {
        Start,   // between messages: the next byte says how this one is framed
        Count,   // reading the digits of an octet count
        Counted, // reading the `remaining_` bytes of an octet-counted message
        Line,    // reading up to the next LF
    };

    size_t FeedCount(std::string_view data, size_t at);
    size_t FeedCounted(std::string_view data, size_t at, std::vector<std::string>& lines);
    size_t FeedLine(std::string_view data, size_t at, std::vector<std::string>& lines);
    void Keep(std::string_view bytes);
    void Emit(std::vector<std::string>& lines);

    const size_t bound_;
    State state_ = State::Start;
    std::string held_;   // the message's first bytes, up to the bound
    uint64_t total_ = 0; // the message's bytes so far, held or not
    uint64_t remaining_ = 0;
    uint64_t cut_ = 0;
};

} // namespace zelsend
