#pragma once
// A file as the system describes it, for --follow's decisions (follow/file_change.h).
#include <cstdint>

namespace zelsend {

struct FileState {
    bool present = false; // the path names a file (for the held file: zelsend holds one)
    uint64_t id = 0;      // the same file keeps its id through renames: inode, or file index
    uint64_t size = 0;
    bool deleting = false; // Windows: deleted, and gone once the last handle to it closes
};

} // namespace zelsend
