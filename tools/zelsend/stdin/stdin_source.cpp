#include "stdin/stdin_source.h"

#include "common/exit_codes.h"
#include "stdin/line_text.h"
#include "zel_log_client.h"
#include "common/line_rules.h"
#include "port/console_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zelsend {

namespace {

// The console's limit: it closes the connection of a client that announces more.
constexpr size_t kMaxFrameText = zel::detail::kMaxPayload;

// Before its line break comes, a line is kept only up to this size: no code page needs more
// than four bytes for what UTF-8 writes in one, so a longer line cannot fit a frame.
constexpr size_t kMaxLineBytes = 4 * kMaxFrameText;

// Frames past the console's limit would cost the connection and everything after them.
bool FitsAFrame(size_t size, const std::string& what, std::string& error)
{
    if (size <= kMaxFrameText)
        return true;
    error = what + " is " + std::to_string(size) + " bytes of UTF-8, more than the " + std::to_string(kMaxFrameText) +
            " (16 MiB) the console takes in one frame; " + "it was not sent";
    return false;
}

bool SendText(Socket& socket, std::string_view text, std::string& error)
{
    std::string frame;
    zel::detail::AppendFrame(frame, text);
    return socket.SendAll(frame.data(), frame.size(), error);
}

// Reads standard input to its end, handing each chunk to `take`, which returns an exit code:
// reading stops at the first that is not kExitSent.
template <class Take>
int ReadAllStdin(Take take)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const long n = ReadStdin(buffer.data(), buffer.size());
        if (n < 0)
            return Fail("cannot read standard input");
        if (n == 0)
            return kExitSent;
        if (const int rc = take(buffer.data(), static_cast<size_t>(n)); rc != kExitSent)
            return rc;
    }
}

// Sends each line as soon as it is complete, so a person typing sees it appear at once.
class LineSender {
public:
    LineSender(Socket& socket, const TextDecoder& decoder, const LineRules& rules, bool crlf)
        : socket_(socket), decoder_(decoder), rules_(rules), crlf_(crlf)
    {
    }

    int Run()
    {
        std::string pending;
        const int rc = ReadAllStdin([&](const char* data, size_t size) {
            // What is pending holds no line break: only the new bytes need a look, or a long line
            // would be scanned again with every chunk of it.
            const size_t from = pending.size();
            pending.append(data, size);
            stamp_ = rules_.StampNow();
            size_t begin = 0;
            for (size_t end = pending.find('\n', from); end != std::string::npos; end = pending.find('\n', begin)) {
                const int sent = Send(std::string_view(pending.data() + begin, end - begin));
                if (sent != kExitSent)
                    return sent;
                begin = end + 1;
            }
            pending.erase(0, begin);
            if (pending.size() <= kMaxLineBytes)
                return kExitSent;
            return Fail("line " + std::to_string(line_ + 1) + " is longer than " + std::to_string(kMaxLineBytes) +
                            " bytes, far more than the " + std::to_string(kMaxFrameText) +
                            " (16 MiB) the console takes in one frame; it was not sent",
                        kExitUsage);
        });
        if (rc != kExitSent)
            return rc;
        // A last line without a line break is still a line.
        return pending.empty() ? kExitSent : Send(pending);
    }

private:
    int Send(std::string_view line)
    {
        ++line_;
        std::string text = decoder_.Converts() ? LineToText(decoder_.ToUtf8(line), crlf_) : LineToText(line, crlf_);
        const std::string_view bare = std::string_view(text).substr(0, text.size() - (crlf_ ? 2 : 0));
        if (!rules_.Keeps(bare))
            return kExitSent;
        if (!stamp_.empty())
            text.insert(0, stamp_);
        std::string error;
        if (!FitsAFrame(text.size(), "line " + std::to_string(line_), error))
            return Fail(error, kExitUsage);
        return SendText(socket_, text, error) ? kExitSent : Fail(error);
    }

    Socket& socket_;
    const TextDecoder& decoder_;
    const LineRules& rules_;
    const bool crlf_;
    std::string stamp_; // --time: when the chunk that completed the line was read
    int64_t line_ = 0;
};

} // namespace

// Arguments cannot come near the frame limit: command lines end at 32 Ki characters on Windows
// and at 128 KiB per argument on Linux.
int SendMessages(Socket& socket, const Options& options)
{
    std::string error;
    for (const std::string& message : options.messages) {
        if (!SendText(socket, options.crlf ? message + "\r\n" : message, error))
            return Fail(error);
    }
    return kExitSent;
}

int SendStdinLines(Socket& socket, const TextDecoder& decoder, const LineRules& rules, bool crlf)
{
    return LineSender(socket, decoder, rules, crlf).Run();
}

int SendStdinRaw(Socket& socket)
{
    return ReadAllStdin([&socket](const char* data, size_t size) {
        std::string error;
        return socket.SendAll(data, size, error) ? kExitSent : Fail(error);
    });
}

} // namespace zelsend
