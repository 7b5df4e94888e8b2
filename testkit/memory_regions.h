#pragma once
// Another process's address space, region by region: the memory committed there, touched or
// not, which Wine's memory counters (resident pages only) do not show.
#include <windows.h>

#include <cstdint>

// Calls `visit(region)` for each region of `process`'s address space, from the lowest up.
template <class Visit>
void ForEachRegion(HANDLE process, Visit visit)
{
    MEMORY_BASIC_INFORMATION region;
    for (uintptr_t at = 0;
         ::VirtualQueryEx(process, reinterpret_cast<const void*>(at), &region, sizeof region) == sizeof region;) {
        visit(region);
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
}
