#include "port/folder_watch.h"

#include <windows.h>

namespace zelsend {

namespace {

std::string FolderOf(const std::string& filePath)
{
    const size_t slash = filePath.find_last_of("/\\");
    return slash == std::string::npos ? "." : slash == 0 ? filePath.substr(0, 1) : filePath.substr(0, slash);
}

HANDLE Native(std::intptr_t watch)
{
    return reinterpret_cast<HANDLE>(watch);
}

} // namespace

FolderWatch::~FolderWatch()
{
    if (watch_ != -1)
        ::FindCloseChangeNotification(Native(watch_));
}

bool FolderWatch::Open(const std::string& filePath)
{
    const std::string folder = FolderOf(filePath);
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, folder.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, folder.c_str(), -1, &wide[0], n);
    HANDLE change = ::FindFirstChangeNotificationW(
        wide.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE)
        return false;
    watch_ = reinterpret_cast<std::intptr_t>(change);
    return true;
}

void FolderWatch::Wait(int ms)
{
    if (watch_ == -1) {
        ::Sleep(static_cast<DWORD>(ms));
        return;
    }
    if (::WaitForSingleObject(Native(watch_), static_cast<DWORD>(ms)) == WAIT_OBJECT_0)
        ::FindNextChangeNotification(Native(watch_));
}

} // namespace zelsend
