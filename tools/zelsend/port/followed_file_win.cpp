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

// The serial number of the volume that holds `folder`, asked once: under Wine the question
// takes milliseconds (GetFileInformationByHandle asks it too), which no look may spend with the
// file open. Every file --follow reads is in the one folder.
DWORD VolumeOf(const std::string& folder)
{
    static std::string asked;
    static DWORD serial = 0;
    if (folder == asked)
        return serial;
    HANDLE dir = ::CreateFileW(Wide(folder).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (dir == INVALID_HANDLE_VALUE)
        return 0; // asked again next time
    if (::GetFileInformationByHandle(dir, &info)) {
        asked = folder;
        serial = info.dwVolumeSerialNumber;
    }
    ::CloseHandle(dir);
    return serial;
}

// The file's index, from ntdll: the one question that tells it, at the cost of an fstat under
// Wine. kernel32 asks it only together with the volume (above).
bool IndexOf(HANDLE file, uint64_t& index)
{
    using Query = LONG(WINAPI*)(HANDLE, void* status, void* info, ULONG size, int infoClass);
    // Through a plain function pointer: GetProcAddress's type says nothing of the real one.
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    constexpr int kFileInternalInformation = 6;
    ULONG_PTR status[2] = {};
    LARGE_INTEGER number = {};
    if (query == nullptr || query(file, status, &number, sizeof number, kFileInternalInformation) < 0)
        return false;
    index = static_cast<uint64_t>(number.QuadPart);
    return true;
}

FileState StateOf(HANDLE file, DWORD volume)
{
    FileState state;
    LARGE_INTEGER size;
    uint64_t index = 0;
    if (!IndexOf(file, index) || !::GetFileSizeEx(file, &size))
        return state;
    state.present = true;
    state.id = IdOf(volume, index);
    state.size = static_cast<uint64_t>(size.QuadPart);
    return state;
}

} // namespace

std::intptr_t FollowedFile::OpenNative(const std::string& path)
{
    VolumeOf(FolderOf(path)); // before the file is open
    return Held(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void FollowedFile::CloseNative(std::intptr_t handle)
{
    ::CloseHandle(Native(handle));
}

FileState FollowedFile::State() const
{
    return IsOpen() ? StateOf(Native(handle_), VolumeOf(FolderOf(path_))) : FileState{};
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

// The folder's listing carries each file's id: only the folder is opened, never the files. Its
// sizes may lag for a file still open for writing (NTFS brings them up to date when the writer
// closes it), which a rotated file seldom is.
bool FollowedFile::FindInFolder(const std::string& folder, const FileState& file, std::string& path, uint64_t& size)
{
    HANDLE dir = ::CreateFileW(Wide(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return false;
    const DWORD volume = VolumeOf(folder);
    bool found = false;
    std::vector<uint64_t> buffer(8 * 1024); // 64 KiB, aligned as the entries need
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    while (!found && ::GetFileInformationByHandleEx(dir, query, buffer.data(),
                                                    static_cast<DWORD>(buffer.size() * sizeof buffer[0]))) {
        query = FileIdBothDirectoryInfo;
        const char* at = reinterpret_cast<const char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                IdOf(volume, static_cast<uint64_t>(entry->FileId.QuadPart)) == file.id) {
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
    ::CloseHandle(dir);
    return found;
}

} // namespace zelsend
