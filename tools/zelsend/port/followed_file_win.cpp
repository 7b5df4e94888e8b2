#include "port/followed_file.h"

#include "port/handle_win.h"

namespace zelsend {

namespace {

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

std::intptr_t FollowedFile::OpenNative(const std::string& path)
{
    return Held(OpenShared(path, GENERIC_READ));
}

void FollowedFile::CloseNative(std::intptr_t handle)
{
    ::CloseHandle(Native(handle));
}

FileState FollowedFile::State() const
{
    return IsOpen() ? StateOf(Native(handle_)) : FileState{};
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
    if (!::ReadFile(Native(handle_), buffer, static_cast<DWORD>(size), &got, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(got);
}

} // namespace zelsend
