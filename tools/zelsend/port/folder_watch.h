#pragma once
// Wakes --follow as soon as something changes in the followed file's folder (a write, a rename,
// a new file), so that a line does not wait for the next regular look. The regular look stays:
// Windows may report a growing file late, and a folder that cannot be watched is still followed.
#include <chrono>
#include <cstdint>
#include <string>

namespace zelsend {

class FolderWatch {
public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Watches the folder that holds `filePath` (UTF-8); false when it cannot, and then Wait
    // only waits.
    bool Open(const std::string& filePath);
    // Returns after `ms` milliseconds, or sooner when something in the folder has changed:
    // true then.
    bool Wait(int ms);
    // Waits until nothing has changed for `quietMs`, or `limitMs` have passed: a writer that
    // rotates does so right after its last write, and renames back to back. True when the
    // folder fell still.
    bool Settle(int quietMs, int limitMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (std::chrono::steady_clock::now() < end) {
            if (!Wait(quietMs))
                return true;
        }
        return false;
    }

private:
    // A change notification HANDLE on Windows, an inotify descriptor elsewhere; -1 for none.
    std::intptr_t watch_ = -1;
};

} // namespace zelsend
