#include "follow/follow_source.h"

#include "common/exit_codes.h"
#include "common/line_rules.h"
#include "follow/file_change.h"
#include "follow/follow_decoder.h"
#include "port/folder_watch.h"
#include "port/followed_file.h"

#include <cstdio>
#include <string>
#include <vector>

namespace zelsend {

namespace {

// The regular look at the file; a change in its folder brings the next look forward, once the
// folder has been still for a moment: every open is a moment in which the writer cannot replace
// or delete that file, so none is made in the middle of a burst of writes and renames.
constexpr int kLookEveryMs = 50;
constexpr int kStillMs = 5;
constexpr int kSettleAtMostMs = 40;
// Read at most this much each time the file is opened, so that it is held only for a moment.
constexpr size_t kReadChunk = 1024 * 1024;
// How far back from the end the start of the last line is looked for.
constexpr uint64_t kTailBytes = 64 * 1024;

class Follower {
public:
    Follower(const Options& options, const LineRules& rules, zel::LogClient& client, const std::atomic<bool>& stop)
        : options_(options), rules_(rules), client_(client), stop_(stop), folder_(FolderOf(options.followPath)),
          buffer_(kReadChunk)
    {
    }

    bool Open(std::string& error) { return decoder_.Open(options_.inputCodePage, error); }

    // The file as it is when following starts: from its end, unless asked to send it all. What
    // it holds then is left to the first look, which reads it from its start.
    void Begin()
    {
        FollowedFile file(options_.followPath);
        if (!file.IsOpen()) {
            std::fprintf(stderr, "zelsend: %s does not exist yet: waiting for it\n", options_.followPath.c_str());
            return;
        }
        // An empty file's end is its start: its first bytes will decide its text.
        const FileState state = file.State();
        if (options_.fromStart || state.size == 0)
            return;
        char head[4];
        const long n = file.ReadAt(0, head, sizeof head);
        decoder_.StartAtEnd(std::string_view(head, n > 0 ? static_cast<size_t>(n) : 0));
        readTo_ = StartOfLastLine(file, state.size);
        followed_ = state;
    }

    // One look: follows what happened to the file and sends what is new, opening a file only
    // to read it. `still`: the folder has been still for a moment, so no rename is under way.
    // True when there is more to read at once.
    bool Look(bool still)
    {
        FileChange change = DetectFileChange(followed_, readTo_, FollowedFile::Peek(options_.followPath));
        if (change == FileChange::None)
            return false;
        if (change == FileChange::Gone) {
            FinishOld(still);
            return false;
        }
        long got = 0;
        FileState atPath;
        {
            FollowedFile file(options_.followPath);
            atPath = file.State();
            change = DetectFileChange(followed_, readTo_, atPath);
            const bool fromStart = change == FileChange::Truncated || change == FileChange::Appeared;
            if (fromStart || change == FileChange::Grown)
                got = file.ReadAt(fromStart ? 0 : readTo_, buffer_.data(), buffer_.size());
        } // closed before the lines are made and sent
        switch (change) {
        case FileChange::Replaced:
            FinishOld(still);
            StartOver(atPath);
            return true;
        case FileChange::Truncated:
        case FileChange::Appeared:
            StartOver(atPath);
            [[fallthrough]];
        case FileChange::Grown:
            Feed(got);
            return got > 0 && readTo_ < atPath.size;
        default:
            return false; // it could not be opened after all: the next look tries again
        }
    }

private:
    // Following starts at the end, but a last line still being written is sent whole once it is
    // complete, rather than as the part written after zelsend looked.
    uint64_t StartOfLastLine(FollowedFile& file, uint64_t size)
    {
        const uint64_t from = (size > kTailBytes ? size - kTailBytes : 0) & ~uint64_t{1};
        std::string tail(static_cast<size_t>(size - from), '\0');
        const long n = file.ReadAt(from, &tail[0], tail.size());
        const size_t start = n > 0
                                 ? LastLineStart(std::string_view(tail.data(), static_cast<size_t>(n)), decoder_.Unit())
                                 : std::string_view::npos;
        return start == std::string_view::npos ? size : from + start;
    }

    // The file followed so far was renamed or deleted since the last look. What its writer added
    // after that look is read where the file went, when it is still in the same folder: its
    // listing says where and how long, so it is opened only when it holds unread bytes, and only
    // while the folder is still: a writer renames onto its rotated file in its next rotation,
    // which may come at once, and would fail while that file is open. A file deleted, moved to
    // another folder or replaced again before this look is out of reach.
    void FinishOld(bool still)
    {
        std::string path;
        uint64_t size = 0;
        if (!still || !FollowedFile::FindInFolder(folder_, followed_, path, size))
            return;
        while (readTo_ < size && !stop_) {
            long got = 0;
            {
                FollowedFile file(path);
                const FileState state = file.State();
                if (!state.SameFile(followed_))
                    return; // renamed again meanwhile
                size = state.size;
                got = file.ReadAt(readTo_, buffer_.data(), buffer_.size());
            }
            if (got <= 0)
                return;
            Feed(got);
        }
    }

    // Reading starts from the start of `file`: a new one, or the same one cut back.
    void StartOver(const FileState& file)
    {
        followed_ = file;
        readTo_ = 0;
        decoder_.Restart(lines_);
        SendLines(rules_.StampNow());
    }

    // The `got` bytes just read at readTo_ into buffer_.
    void Feed(long got)
    {
        if (got <= 0)
            return;
        readTo_ += static_cast<uint64_t>(got);
        decoder_.Feed(std::string_view(buffer_.data(), static_cast<size_t>(got)), lines_);
        SendLines(rules_.StampNow());
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
    const std::atomic<bool>& stop_;
    const std::string folder_;
    FollowDecoder decoder_;
    FileState followed_; // the file read so far, by its id; not present before the first
    uint64_t readTo_ = 0;
    std::vector<char> buffer_;
    std::vector<std::string> lines_;
};

} // namespace

int RunFollow(const Options& options, const LineRules& rules, zel::LogClient& client, const std::atomic<bool>& stop)
{
    Follower follower(options, rules, client, stop);
    std::string error;
    if (!follower.Open(error))
        return Fail(error, kExitUsage);
    std::fprintf(stderr, "zelsend: following %s from its %s%s\n", options.followPath.c_str(),
                 options.fromStart ? "start" : "end", FiltersNote(options).c_str());
    std::fflush(stderr);
    follower.Begin();
    FolderWatch watch;
    watch.Open(options.followPath); // without it, the regular looks still find every line
    bool still = true;
    while (!stop) {
        if (!follower.Look(still))
            still = !watch.Wait(kLookEveryMs) || watch.Settle(kStillMs, kSettleAtMostMs);
    }
    return kExitSent;
}

} // namespace zelsend
