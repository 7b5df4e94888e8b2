#pragma once
// What happened to a followed file since the last look, decided from two looks: at the file
// zelsend holds open, and at whatever its path names now. Log rotators rename the file and
// create a new one under the old name, or cut the file back to nothing.
#include "port/file_state.h"

#include <cstdint>

namespace zelsend {

enum class FileChange {
    None,      // nothing to read
    Grown,     // read on from where reading stopped
    Truncated, // read the held file again from its start
    Replaced,  // the held file is read to its end: open the one at the path, from its start
    Released,  // the held file is read to its end and being deleted: let it go, wait for the path
    Appeared,  // nothing was held: open the file at the path, from its start
};

// `held`: the file zelsend reads (not present when it holds none); `atPath`: what the path names
// now; `readTo`: how far the held file has been read. What is left of a renamed or deleted file
// is read before zelsend moves on, so its last lines are not lost.
FileChange DetectFileChange(const FileState& held, const FileState& atPath, uint64_t readTo);

} // namespace zelsend
