#include "port/folder_watch.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include <chrono>
#include <thread>

namespace zelsend {

namespace {

std::string FolderOf(const std::string& filePath)
{
    const size_t slash = filePath.find_last_of("/\\");
    return slash == std::string::npos ? "." : slash == 0 ? filePath.substr(0, 1) : filePath.substr(0, slash);
}

} // namespace

#ifdef _WIN32

FolderWatch::~FolderWatch()
{
    if (change_ != nullptr)
        ::FindCloseChangeNotification(change_);
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
    change_ = change;
    return true;
}

void FolderWatch::Wait(int ms)
{
    if (change_ == nullptr) {
        ::Sleep(static_cast<DWORD>(ms));
        return;
    }
    if (::WaitForSingleObject(change_, static_cast<DWORD>(ms)) == WAIT_OBJECT_0)
        ::FindNextChangeNotification(change_);
}

#else

FolderWatch::~FolderWatch()
{
    if (inotify_ >= 0)
        ::close(inotify_);
}

bool FolderWatch::Open(const std::string& filePath)
{
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0)
        return false;
    if (::inotify_add_watch(inotify_, FolderOf(filePath).c_str(),
                            IN_MODIFY | IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE) < 0) {
        ::close(inotify_);
        inotify_ = -1;
        return false;
    }
    return true;
}

void FolderWatch::Wait(int ms)
{
    if (inotify_ < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    pollfd p{inotify_, POLLIN, 0};
    if (::poll(&p, 1, ms) == 1) {
        char events[4096]; // what changed is not needed: the look that follows finds out
        while (::read(inotify_, events, sizeof events) > 0) {
        }
    }
}

#endif

} // namespace zelsend
