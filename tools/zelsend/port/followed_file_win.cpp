#include "port/followed_file.h"

#include "port/handle_win.h"

#include <vector>

namespace zelsend {

namespace {

// The volume in the top bits, as on the POSIX side: ids from a handle and from a folder's
// listing agree.
uint64_t IdOf(DWORD volume, uint64_t index)
{
    return index ^ (uint64_t(volume) << 48);
}

FileState StateOf(HANDLE file)
{
    FileState state;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info))
        return state;
    state.present = true;
    state.id = IdOf(info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow);
    state.size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    return state;
}

} // namespace

std::intptr_t FollowedFile::OpenNative(const std::string& path)
{
    return Held(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void FollowedFile::CloseNative(std::intptr_t handle)
{
    ::CloseHandle(Native(handle));
}

FileState FollowedFile::State() const
{
    return IsOpen() ? StateOf(Native(handle_)) : FileState{};
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

// Attributes by path: the size the file system keeps for the open file itself (a folder's listing
// may lag while the writer holds it), and no handle that a writer's rename could meet.
FileState FollowedFile::Peek(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    FileState state;
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return state;
    state.present = true;
    state.size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return state;
}

// The folder's listing carries each file's id: only the folder is opened, never the files.
bool FollowedFile::FindInFolder(const std::string& folder, const FileState& file, std::string& path, uint64_t& size)
{
    HANDLE dir = ::CreateFileW(Wide(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION folderInfo;
    bool found = false;
    std::vector<uint64_t> buffer(8 * 1024); // 64 KiB, aligned as the entries need
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    if (::GetFileInformationByHandle(dir, &folderInfo)) {
        while (!found && ::GetFileInformationByHandleEx(dir, query, buffer.data(),
                                                        static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
            query = FileIdBothDirectoryInfo;
            const char* at = reinterpret_cast<const char*>(buffer.data());
            for (;;) {
                const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
                if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    IdOf(folderInfo.dwVolumeSerialNumber, static_cast<uint64_t>(entry->FileId.QuadPart)) == file.id) {
                    const char last = folder.back();
                    path = folder + (last == '\\' || last == '/' ? "" : "\\") +
                           Narrow(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                    size = static_cast<uint64_t>(entry->EndOfFile.QuadPart);
                    found = true;
                    break;
                }
                if (entry->NextEntryOffset == 0)
                    break;
                at += entry->NextEntryOffset;
            }
        }
    }
    ::CloseHandle(dir);
    return found;
}

} // namespace zelsend
