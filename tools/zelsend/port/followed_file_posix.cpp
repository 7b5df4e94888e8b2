#include "port/followed_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelsend {

namespace {

int Fd(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

FileState StateOf(const struct stat& s)
{
    FileState state;
    state.present = true;
    state.id = static_cast<uint64_t>(s.st_ino) ^ (static_cast<uint64_t>(s.st_dev) << 48);
    state.size = static_cast<uint64_t>(s.st_size);
    state.deleting = s.st_nlink == 0; // unlinked: only open handles still reach it
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
    struct stat s;
    return IsOpen() && ::fstat(Fd(handle_), &s) == 0 ? StateOf(s) : FileState{};
}

FileState FollowedFile::StateAt(const std::string& path)
{
    struct stat s;
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode) ? StateOf(s) : FileState{};
}

long FollowedFile::ReadAt(uint64_t offset, char* buffer, size_t size)
{
    const ssize_t n = ::pread(Fd(handle_), buffer, size, static_cast<off_t>(offset));
    return n < 0 ? -1 : static_cast<long>(n);
}

} // namespace zelsend
