#pragma once
// A file as the system describes it, for --follow's decisions (follow/file_change.h).
#include <cstdint>

namespace zelsend {

struct FileState {
    bool present = false; // the path names a file that could be looked at
    uint64_t id = 0;      // the same file keeps its id through renames (volume and inode, or file
                          // index); 0 where the look could not tell it without opening the file
    uint64_t size = 0;
    // When the file was made, where the system keeps that (0 elsewhere): a new file can get the
    // inode a deleted one had, and only this tells the two apart.
    uint64_t born = 0;

    bool SameFile(const FileState& other) const { return id == other.id && born == other.born; }
};

} // namespace zelsend
