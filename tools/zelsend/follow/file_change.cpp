#include "follow/file_change.h"

namespace zelsend {

FileChange DetectFileChange(const FileState& followed, uint64_t readTo, const FileState& atPath)
{
    if (!atPath.present)
        return followed.present ? FileChange::Gone : FileChange::None;
    if (!followed.present)
        return FileChange::Appeared;
    // A new file of exactly the length read so far is taken for the old one until it grows:
    // the read that follows opens it, and then its id tells.
    if (atPath.id == 0)
        return atPath.size == readTo ? FileChange::None : FileChange::Unsure;
    if (!atPath.SameFile(followed))
        return FileChange::Replaced;
    if (atPath.size < readTo)
        return FileChange::Truncated;
    return atPath.size > readTo ? FileChange::Grown : FileChange::None;
}

} // namespace zelsend
