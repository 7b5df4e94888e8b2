#pragma once
// The file --follow reads, open only for the moment of one read. Windows refuses to replace a
// file by a rename, or to make a new one in place of a deleted one, while anyone holds it open,
// whatever sharing they allowed: a follower that kept its handle between looks would make its
// writer's log rotation fail. So each look opens, reads what is new and closes, and what is
// asked between reads (is there anything new? where did a rotated file go?) opens no file.
#include "port/file_state.h"

#include <cstdint>
#include <string>

namespace zelsend {

class FollowedFile {
public:
    // Opens `path` (UTF-8) for reading; on Windows sharing read, write and delete, so that its
    // writer can go on writing, rename it and delete it meanwhile.
    explicit FollowedFile(const std::string& path) : path_(path), handle_(OpenNative(path)) {}
    ~FollowedFile()
    {
        if (IsOpen())
            CloseNative(handle_);
    }
    FollowedFile(const FollowedFile&) = delete;
    FollowedFile& operator=(const FollowedFile&) = delete;

    // False when there is no such file, or it cannot be read now (deleted and not yet gone, or
    // its writer shares no reading).
    bool IsOpen() const { return handle_ != -1; }
    // The file as it is now, its id known (not present when it is not open).
    FileState State() const;
    // Reads up to `size` bytes at `offset`: the count, 0 at the end, -1 on an error.
    long ReadAt(uint64_t offset, char* buffer, size_t size);

    // What `path` names now, without opening it: its size and, where that needs no open (POSIX),
    // its id. Sizes are exact on both sides, even while the writer holds the file.
    static FileState Peek(const std::string& path);
    // The file `file` (its id) in `folder`, found from the folder's listing without opening any
    // file in it: its path and size; false when none is there (deleted, or moved elsewhere).
    static bool FindInFolder(const std::string& folder, const FileState& file, std::string& path, uint64_t& size);

private:
    // Each side's own open and close of the handle; the open gives -1 when there is no file.
    static std::intptr_t OpenNative(const std::string& path);
    static void CloseNative(std::intptr_t handle);

    const std::string path_;
    std::intptr_t handle_ = -1; // a HANDLE on Windows, a descriptor elsewhere; -1 when none is held
};

// The folder that holds `filePath` ("." for a bare name); either slash ends a folder, and a root
// ("/", "C:\\") keeps its slash.
inline std::string FolderOf(const std::string& filePath)
{
    const size_t slash = filePath.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    const bool root = slash == 0 || (slash == 2 && filePath[1] == ':');
    return filePath.substr(0, root ? slash + 1 : slash);
}

} // namespace zelsend
