#include "follow/file_change.h"

namespace zelsend {

FileChange DetectFileChange(const FileState& held, const FileState& atPath, uint64_t readTo)
{
    if (!held.present)
        return atPath.present ? FileChange::Appeared : FileChange::None;
    if (held.size < readTo)
        return FileChange::Truncated;
    if (held.size > readTo)
        return FileChange::Grown;
    if (held.deleting)
        return FileChange::Released;
    if (atPath.present && atPath.id != held.id)
        return FileChange::Replaced;
    return FileChange::None;
}

} // namespace zelsend
