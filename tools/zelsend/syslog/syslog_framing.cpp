#include "syslog/syslog_framing.h"

#include <algorithm>

namespace zelsend {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// An octet count longer than this is no count a sender means: the frame is read as a line.
constexpr size_t kMaxCountDigits = 9;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool InRange(unsigned char c, unsigned char low, unsigned char high)
{
    return c >= low && c <= high;
}

// The bytes after `lead` that its sequence needs, and the range its first one must fall in
// (narrower for E0, ED, F0 and F4: no overlong forms, surrogates or code points past
// U+10FFFF); -1 for a byte that cannot start a sequence.
int SequenceTail(unsigned char lead, unsigned char& low, unsigned char& high)
{
    low = 0x80;
    high = 0xBF;
    if (InRange(lead, 0xC2, 0xDF))
        return 1;
    if (InRange(lead, 0xE0, 0xEF)) {
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
        return 2;
    }
    if (InRange(lead, 0xF0, 0xF4)) {
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
        return 3;
    }
    return -1;
}

// Appends `text` as valid UTF-8 without NUL. Each maximal part of an invalid sequence becomes
// one U+FFFD, as Unicode recommends, so a Latin-1 "é" shows as one mark, not as two or none.
// A NUL becomes U+FFFD too: the console would end the text there, and a space would hide that
// the sender put something unprintable in.
void AppendRepaired(std::string& out, std::string_view text)
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

// The length of `text` without a sequence cut off at its end, so that a message cut at the
// bound loses the whole last character rather than showing a mark for half of it.
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

// Every line break inside the text (LF, CR LF or a lone CR) becomes CR LF: Windows' edit
// control breaks a line at CR LF only, so a multi-line message would otherwise run together.
void EndLinesWithCrLf(std::string& text)
{
    if (text.find_first_of("\r\n") == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            out += text[i];
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        out += "\r\n";
    }
    text.swap(out);
}

} // namespace

std::string SyslogLine(std::string_view message, uint64_t total)
{
    if (total > 0)
        message = message.substr(0, WithoutCutSequence(message));
    size_t end = message.size();
    while (end > 0 && (message[end - 1] == '\n' || message[end - 1] == '\r' || message[end - 1] == '\0'))
        --end;
    if (end == 0 && total == 0)
        return {};
    std::string line;
    line.reserve(end + 48);
    AppendRepaired(line, message.substr(0, end));
    EndLinesWithCrLf(line);
    if (total > 0)
        line += " [cut: " + std::to_string(total) + " bytes in all]";
    line += "\r\n";
    return line;
}

std::string SyslogDatagramLine(std::string_view datagram, size_t bound)
{
    if (datagram.size() <= bound)
        return SyslogLine(datagram);
    return SyslogLine(datagram.substr(0, bound), datagram.size());
}

void SyslogStream::Feed(std::string_view data, std::vector<std::string>& lines)
{
    size_t at = 0;
    while (at < data.size()) {
        switch (state_) {
        case State::Start:
            if (IsDigit(data[at]))
                state_ = State::Count;
            else if (data[at] == '\n' || data[at] == '\0')
                ++at; // an empty message between messages shows nothing
            else
                state_ = State::Line;
            break;
        case State::Count:
            at = FeedCount(data, at);
            break;
        case State::Counted:
            at = FeedCounted(data, at, lines);
            break;
        case State::Line:
            at = FeedLine(data, at, lines);
            break;
        }
    }
}

// The digits are held as they come: when no space ends them, they begin a line after all.
size_t SyslogStream::FeedCount(std::string_view data, size_t at)
{
    for (; at < data.size(); ++at) {
        const char c = data[at];
        if (IsDigit(c) && held_.size() < kMaxCountDigits) {
            Keep(data.substr(at, 1));
            continue;
        }
        if (c == ' ' && held_[0] != '0') {
            remaining_ = std::stoull(held_);
            held_.clear();
            total_ = 0;
            state_ = State::Counted;
            return at + 1;
        }
        state_ = State::Line; // not "LEN SP": this byte goes on the line the digits began
        return at;
    }
    return at;
}

size_t SyslogStream::FeedCounted(std::string_view data, size_t at, std::vector<std::string>& lines)
{
    const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining_, data.size() - at));
    Keep(data.substr(at, take));
    remaining_ -= take;
    if (remaining_ == 0)
        Emit(lines);
    return at + take;
}

// Python's SysLogHandler ends each message over TCP with a NUL and no LF: a NUL ends it too.
size_t SyslogStream::FeedLine(std::string_view data, size_t at, std::vector<std::string>& lines)
{
    const size_t end = data.find_first_of(std::string_view("\n\0", 2), at);
    if (end == std::string_view::npos) {
        Keep(data.substr(at));
        return data.size();
    }
    Keep(data.substr(at, end - at));
    Emit(lines);
    return end + 1;
}

void SyslogStream::Finish(std::vector<std::string>& lines)
{
    if (state_ == State::Start)
        return;
    // An octet-counted message cut short says how long it was meant to be.
    total_ += remaining_;
    remaining_ = 0;
    Emit(lines);
}

void SyslogStream::Keep(std::string_view bytes)
{
    const size_t room = bound_ - held_.size();
    held_.append(bytes.data(), bytes.size() < room ? bytes.size() : room);
    total_ += bytes.size();
}

void SyslogStream::Emit(std::vector<std::string>& lines)
{
    const bool cut = total_ > held_.size();
    if (cut)
        ++cut_;
    std::string line = SyslogLine(held_, cut ? total_ : 0);
    if (!line.empty())
        lines.push_back(std::move(line));
    held_.clear();
    total_ = 0;
    state_ = State::Start;
}

} // namespace zelsend
