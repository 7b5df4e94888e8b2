#include "port/folder_watch.h"
#include "port/followed_file.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace zelsend {

FolderWatch::~FolderWatch()
{
    if (watch_ != -1)
        ::close(static_cast<int>(watch_));
}

bool FolderWatch::Open(const std::string& filePath)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return false;
    if (::inotify_add_watch(fd, FolderOf(filePath).c_str(),
                            IN_MODIFY | IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE) < 0) {
        ::close(fd);
        return false;
    }
    watch_ = fd;
    return true;
}

bool FolderWatch::Wait(int ms)
{
    if (watch_ == -1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return false;
    }
    const int fd = static_cast<int>(watch_);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1)
        return false;
    char events[4096]; // what changed is not needed: the look that follows finds out
    while (::read(fd, events, sizeof events) > 0) {
    }
    return true;
}

} // namespace zelsend
