#pragma once
// The file --follow reads, held open by zelsend. On Windows it is opened sharing read, write and
// delete, so that its writer can go on writing, rename it and delete it while zelsend reads.
#include "port/file_state.h"

#include <cstdint>
#include <string>

namespace zelsend {

class FollowedFile {
public:
    FollowedFile() = default;
    ~FollowedFile() { Close(); }
    FollowedFile(const FollowedFile&) = delete;
    FollowedFile& operator=(const FollowedFile&) = delete;

    // Opens `path` (UTF-8) for reading from its start; false when there is no such file yet.
    bool Open(const std::string& path)
    {
        Close();
        handle_ = OpenNative(path);
        return IsOpen();
    }
    void Close()
    {
        if (IsOpen())
            CloseNative(handle_);
        handle_ = -1;
    }
    bool IsOpen() const { return handle_ != -1; }

    // The held file as it is now (not present when none is held).
    FileState State() const;
    // What `path` names now, without keeping it open.
    static FileState StateAt(const std::string& path);

    // Reads up to `size` bytes at `offset`: the count, 0 at the end, -1 on an error.
    long ReadAt(uint64_t offset, char* buffer, size_t size);

private:
    // Each side's own open and close of the handle; the open gives -1 when there is no file.
    static std::intptr_t OpenNative(const std::string& path);
    static void CloseNative(std::intptr_t handle);

    std::intptr_t handle_ = -1; // a HANDLE on Windows, a descriptor elsewhere; -1 when none is held
};

} // namespace zelsend
