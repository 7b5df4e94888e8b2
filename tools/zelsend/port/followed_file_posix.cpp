#include "port/followed_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsend {

namespace {

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

// The id holds the inode in its low 48 bits, as a folder's entries tell it.
constexpr uint64_t kInodeBits = (uint64_t{1} << 48) - 1;

// statx of `path` in `dir` (of the descriptor itself with AT_EMPTY_PATH), with the birth time
// where the file system keeps one.
FileState StateAt(int dir, const char* path, int flags)
{
    struct statx s;
    FileState state;
    if (::statx(dir, path, flags, STATX_BASIC_STATS | STATX_BTIME, &s) != 0 || !S_ISREG(s.stx_mode))
        return state;
    state.present = true;
    state.id =
        static_cast<uint64_t>(s.stx_ino) ^ (static_cast<uint64_t>(s.stx_dev_major << 20 | s.stx_dev_minor) << 48);
    state.size = static_cast<uint64_t>(s.stx_size);
    if (s.stx_mask & STATX_BTIME)
        state.born = static_cast<uint64_t>(s.stx_btime.tv_sec) * 1000000000u + s.stx_btime.tv_nsec;
    return state;
}

} // namespace

std::intptr_t FollowedFile::OpenNative(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

void FollowedFile::CloseNative(std::intptr_t handle)
{
    ::close(Fd(handle));
}

FileState FollowedFile::State() const
{
    return IsOpen() ? StateAt(Fd(handle_), "", AT_EMPTY_PATH) : FileState{};
}

long FollowedFile::ReadAt(uint64_t offset, char* buffer, size_t size)
{
    const ssize_t n = ::pread(Fd(handle_), buffer, size, static_cast<off_t>(offset));
    return n < 0 ? -1 : static_cast<long>(n);
}

FileState FollowedFile::Peek(const std::string& path)
{
    return StateAt(AT_FDCWD, path.c_str(), 0);
}

bool FollowedFile::FindInFolder(const std::string& folder, const FileState& file, std::string& path, uint64_t& size)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (((static_cast<uint64_t>(entry->d_ino) ^ file.id) & kInodeBits) != 0)
            continue;
        const FileState state = StateAt(::dirfd(dir), entry->d_name, 0);
        if (!state.present || !state.SameFile(file))
            continue;
        path = folder + (folder.back() == '/' ? "" : "/") + entry->d_name;
        size = state.size;
        found = true;
        break;
    }
    ::closedir(dir);
    return found;
}

} // namespace zelsend
