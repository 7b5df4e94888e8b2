#include "syslog/syslog_framing.h"

#include "common/unicode_text.h"

#include <algorithm>

namespace zelsend {
namespace {

// An octet count longer than this is no count a sender means: the frame is read as a line.
constexpr size_t kMaxCountDigits = 9;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
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
    AppendRepairedUtf8(line, message.substr(0, end));
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
