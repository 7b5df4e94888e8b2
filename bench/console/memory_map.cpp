#include "memory_map.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "bench_stats.h"
#include "testkit/memory_regions.h"

namespace zelbench {

std::string MemoryMap::Describe() const
{
    char text[96];
    std::snprintf(text, sizeof text, "%.1f MB in %zu", static_cast<double>(committedPrivate) / kMB, allocations);
    std::string described = text;
    for (size_t i = 0; i < largest.size(); ++i) {
        std::snprintf(text, sizeof text, "%s0x%08lX %.1f/%.1f", i == 0 ? "; largest " : ", ",
                      static_cast<unsigned long>(largest[i].base), static_cast<double>(largest[i].committed) / kMB,
                      static_cast<double>(largest[i].reserved) / kMB);
        described += text;
    }
    return described;
}

MemoryMap ReadMemoryMap(HANDLE process, size_t keep)
{
    std::map<uintptr_t, Allocation> byBase;
    ForEachRegion(process, [&byBase](const MEMORY_BASIC_INFORMATION& region) {
        if (region.State == MEM_FREE || region.Type != MEM_PRIVATE)
            return;
        Allocation& owner = byBase[reinterpret_cast<uintptr_t>(region.AllocationBase)];
        owner.base = reinterpret_cast<uintptr_t>(region.AllocationBase);
        owner.reserved += region.RegionSize;
        if (region.State == MEM_COMMIT)
            owner.committed += region.RegionSize;
    });
    MemoryMap map;
    std::vector<Allocation> all;
    for (const auto& [base, allocation] : byBase) {
        if (allocation.committed == 0)
            continue;
        map.committedPrivate += allocation.committed;
        all.push_back(allocation);
    }
    map.allocations = all.size();
    std::sort(all.begin(), all.end(),
              [](const Allocation& a, const Allocation& b) { return a.committed > b.committed; });
    all.resize(std::min(all.size(), keep));
    map.largest = std::move(all);
    return map;
}

} // namespace zelbench
