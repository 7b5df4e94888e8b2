#include "port/followed_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zelsend {

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& utf8)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

// Never in the writer's way: it may write, rename and delete the file while zelsend holds it.
HANDLE OpenShared(const std::string& path, DWORD access)
{
    return ::CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileState StateOf(HANDLE file)
{
    FileState state;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info))
        return state;
    state.present = true;
    state.id = (uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow) ^ (uint64_t(info.dwVolumeSerialNumber) << 48);
    state.size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    FILE_STANDARD_INFO standard;
    if (::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard))
        state.deleting = standard.DeletePending != FALSE;
    return state;
}

} // namespace

bool FollowedFile::Open(const std::string& path)
{
    Close();
    HANDLE file = OpenShared(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    handle_ = file;
    return true;
}

void FollowedFile::Close()
{
    if (handle_ != nullptr)
        ::CloseHandle(handle_);
    handle_ = nullptr;
}

bool FollowedFile::IsOpen() const
{
    return handle_ != nullptr;
}

FileState FollowedFile::State() const
{
    return handle_ != nullptr ? StateOf(handle_) : FileState{};
}

FileState FollowedFile::StateAt(const std::string& path)
{
    // Attributes only: a look that asks for no data conflicts with no writer's sharing.
    HANDLE file = OpenShared(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    const FileState state = StateOf(file);
    ::CloseHandle(file);
    return state;
}

long FollowedFile::ReadAt(uint64_t offset, char* buffer, size_t size)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, static_cast<DWORD>(size), &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(got);
}

#else

namespace {

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

bool FollowedFile::Open(const std::string& path)
{
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

void FollowedFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool FollowedFile::IsOpen() const
{
    return fd_ >= 0;
}

FileState FollowedFile::State() const
{
    struct stat s;
    return fd_ >= 0 && ::fstat(fd_, &s) == 0 ? StateOf(s) : FileState{};
}

FileState FollowedFile::StateAt(const std::string& path)
{
    struct stat s;
    return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode) ? StateOf(s) : FileState{};
}

long FollowedFile::ReadAt(uint64_t offset, char* buffer, size_t size)
{
    const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    return n < 0 ? -1 : static_cast<long>(n);
}

#endif

} // namespace zelsend
