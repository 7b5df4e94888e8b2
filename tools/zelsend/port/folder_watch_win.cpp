#include "port/folder_watch.h"
#include "port/followed_file.h"

#include "port/handle_win.h"

namespace zelsend {

FolderWatch::~FolderWatch()
{
    if (watch_ != -1)
        ::FindCloseChangeNotification(Native(watch_));
}

bool FolderWatch::Open(const std::string& filePath)
{
    HANDLE change = ::FindFirstChangeNotificationW(Wide(FolderOf(filePath)).c_str(), FALSE,
                                                   FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                       FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE)
        return false;
    watch_ = Held(change);
    return true;
}

bool FolderWatch::Wait(int ms)
{
    if (watch_ == -1) {
        ::Sleep(static_cast<DWORD>(ms));
        return false;
    }
    if (::WaitForSingleObject(Native(watch_), static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
        return false;
    ::FindNextChangeNotification(Native(watch_));
    return true;
}

} // namespace zelsend
