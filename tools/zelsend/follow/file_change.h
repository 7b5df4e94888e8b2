#pragma once
// What happened to a followed file since the last look, decided from what zelsend followed and
// what the path names now. Log rotators rename the file and create a new one under the old name,
// delete it, or cut it back to nothing; zelsend holds no handle between looks (port/followed_file.h),
// so it tells the files apart by their ids.
#include "port/file_state.h"

#include <cstdint>

namespace zelsend {

enum class FileChange {
    None,      // nothing to read: the file need not be opened
    Grown,     // read on from where reading stopped
    Truncated, // the same file, shorter: read it again from its start
    Replaced,  // another file at the path: finish the old one where it went, then the new from its start
    Gone,      // nothing at the path: finish the old one where it went, and wait for a new one
    Appeared,  // nothing was followed yet: read the file at the path from its start
    Unsure,    // its size changed, but whose file it is takes an open to tell: open it and decide again
};

// `followed`: the file read so far (not present when none was), read up to `readTo`; `atPath`:
// what the path names now, its id 0 when the look did not open the file and could not tell it.
FileChange DetectFileChange(const FileState& followed, uint64_t readTo, const FileState& atPath);

} // namespace zelsend
