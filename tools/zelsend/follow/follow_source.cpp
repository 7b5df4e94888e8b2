#include "follow/follow_source.h"

#include "common/exit_codes.h"
#include "follow/file_change.h"
#include "follow/follow_decoder.h"
#include "port/folder_watch.h"
#include "port/followed_file.h"
#include "common/line_rules.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace zelsend {

namespace {

// The regular look at the file; a change in its folder brings the next look forward.
constexpr int kLookEveryMs = 50;
// Read at most this much between looks at the stop flag.
constexpr size_t kReadChunk = 256 * 1024;
constexpr int kChunksPerLook = 16;
// How far back from the end the start of the last line is looked for.
constexpr uint64_t kTailBytes = 64 * 1024;

class Follower {
public:
    Follower(const Options& options, const LineRules& rules, zel::LogClient& client)
        : options_(options), rules_(rules), client_(client)
    {
    }

    bool Open(std::string& error) { return decoder_.Open(options_.inputCodePage, error); }

    // The file as it is when following starts: from its end, unless asked to send it all.
    void Begin()
    {
        if (!file_.Open(options_.followPath)) {
            std::fprintf(stderr, "zelsend: %s does not exist yet: waiting for it\n", options_.followPath.c_str());
            return;
        }
        // An empty file's end is its start: its first bytes will decide its text.
        const uint64_t size = file_.State().size;
        if (options_.fromStart || size == 0)
            return;
        char head[4];
        const long n = file_.ReadAt(0, head, sizeof head);
        decoder_.StartAtEnd(std::string_view(head, n > 0 ? static_cast<size_t>(n) : 0));
        readTo_ = StartOfLastLine(size);
    }

    // One look: follows what happened to the file and sends what it now holds.
    void Look()
    {
        // While the held file grows or shrinks, what the path names does not matter yet: the
        // look at it (an open and a close, server round trips under Wine) waits until it does.
        const FileState held = file_.State();
        const bool pathMatters = !held.present || held.size == readTo_;
        const FileState atPath = pathMatters ? FollowedFile::StateAt(options_.followPath) : FileState{};
        switch (DetectFileChange(held, atPath, readTo_)) {
        case FileChange::None:
            return;
        case FileChange::Grown:
            break;
        case FileChange::Truncated:
            Restart();
            break;
        case FileChange::Replaced:
        case FileChange::Released:
            // The writer may have added to the held file after its size was taken above and
            // before the path was looked at: read it to its end before letting it go.
            while (ReadOn()) {
            }
            file_.Close();
            [[fallthrough]];
        case FileChange::Appeared:
            if (!file_.Open(options_.followPath))
                return; // gone again before it could be opened: the next look tries again
            Restart();
            break;
        }
        ReadOn();
    }

private:
    // Following starts at the end, but a last line still being written is sent whole once it is
    // complete, rather than as the part written after zelsend looked.
    uint64_t StartOfLastLine(uint64_t size)
    {
        const uint64_t from = (size > kTailBytes ? size - kTailBytes : 0) & ~uint64_t{1};
        std::string tail(static_cast<size_t>(size - from), '\0');
        const long n = file_.ReadAt(from, &tail[0], tail.size());
        const size_t start = n > 0
                                 ? LastLineStart(std::string_view(tail.data(), static_cast<size_t>(n)), decoder_.Unit())
                                 : std::string_view::npos;
        return start == std::string_view::npos ? size : from + start;
    }

    void Restart()
    {
        readTo_ = 0;
        decoder_.Restart(lines_);
        SendLines(rules_.StampNow());
    }

    // Reads what the held file has past readTo_, a few chunks a look; true if there may be more.
    bool ReadOn()
    {
        std::vector<char> buffer(kReadChunk);
        for (int i = 0; i < kChunksPerLook; ++i) {
            const long n = file_.ReadAt(readTo_, buffer.data(), buffer.size());
            if (n <= 0)
                return false;
            readTo_ += static_cast<uint64_t>(n);
            decoder_.Feed(std::string_view(buffer.data(), static_cast<size_t>(n)), lines_);
            SendLines(rules_.StampNow());
        }
        return true;
    }

    void SendLines(const std::string& stamp)
    {
        std::string text;
        for (const std::string& line : lines_) {
            text.clear();
            if (rules_.Append(text, line, stamp, {}))
                client_.Send(text);
        }
        lines_.clear();
    }

    const Options& options_;
    const LineRules& rules_;
    zel::LogClient& client_;
    FollowDecoder decoder_;
    FollowedFile file_;
    uint64_t readTo_ = 0;
    std::vector<std::string> lines_;
};

} // namespace

int RunFollow(const Options& options, const LineRules& rules, zel::LogClient& client, const std::atomic<bool>& stop)
{
    Follower follower(options, rules, client);
    std::string error;
    if (!follower.Open(error))
        return Fail(error, kExitUsage);
    follower.Begin();
    FolderWatch watch;
    watch.Open(options.followPath); // without it, the regular looks still find every line
    while (!stop) {
        follower.Look();
        watch.Wait(kLookEveryMs);
    }
    return kExitSent;
}

} // namespace zelsend
