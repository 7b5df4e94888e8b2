#pragma once
// Another process's memory as its address space shows it: private memory committed, grouped by
// the allocation it belongs to. A heap grows in allocations of its own (the first one, then
// more as it runs out), and a block too large for them gets one of its own; so the largest
// private allocations say which heap, or which large block, holds the memory.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zelbench {

struct Allocation {
    uintptr_t base = 0;
    size_t committed = 0; // bytes of private memory committed in it
    size_t reserved = 0;  // bytes of the whole allocation, committed or not
};

struct MemoryMap {
    size_t committedPrivate = 0; // all private memory committed
    size_t allocations = 0;      // private allocations holding any committed memory
    std::vector<Allocation> largest;

    // "5.2 MB in 31; largest 0x00A40000 12.0/16.0, ..." (committed/reserved MB).
    std::string Describe() const;
};

// Walks the process's address space with VirtualQueryEx; keeps the `keep` largest allocations.
MemoryMap ReadMemoryMap(HANDLE process, size_t keep = 3);

} // namespace zelbench
