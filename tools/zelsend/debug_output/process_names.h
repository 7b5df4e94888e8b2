#pragma once
// The exe names of the processes that write debug output, for --pid (Windows only). A process
// is looked up once and its handle kept, so that its id cannot pass to another process while
// its messages may still be waiting; handles of processes that have ended are let go by Sweep.
#include "platform/scoped.h"

#include <cstdint>
#include <map>
#include <string>

namespace zelsend {

class ProcessNames {
public:
    // "app.exe", or "" when the process has ended or may not be looked at.
    const std::string& NameOf(uint32_t pid);
    // Forgets processes that have ended.
    void Sweep();

private:
    struct Known {
        UniqueHandle process;
        std::string name;
    };
    std::map<uint32_t, Known> known_;
};

} // namespace zelsend
