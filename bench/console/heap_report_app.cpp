// ZelLogConsole with a report of its heaps, for the soak (zel_bench --soak MINUTES --heaps):
// every few seconds a thread walks each of the process's heaps and appends what it holds to
// the file named by ZEL_HEAP_REPORT. Blocks in use that keep growing are a leak or a cache;
// committed memory that grows while the blocks in use do not is the heap's fragmentation.
#include <windows.h>

#include <malloc.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "app/zel_log_console_app.h"

namespace {

constexpr double kMB = 1024.0 * 1024.0;
constexpr DWORD kEveryMs = 5000;

struct HeapFigures {
    size_t committed = 0, uncommitted = 0;
    size_t busyBlocks = 0, busyBytes = 0;
    size_t freeBlocks = 0, freeBytes = 0, largestFree = 0;
    // Blocks in use by size: under 1 KiB, under 64 KiB, under 1 MiB, larger.
    size_t sizedBlocks[4] = {}, sizedBytes[4] = {};
};

int SizeClass(size_t bytes)
{
    return bytes < 1024 ? 0 : bytes < 64 * 1024 ? 1 : bytes < 1024 * 1024 ? 2 : 3;
}

HeapFigures Walk(HANDLE heap)
{
    HeapFigures f;
    if (!::HeapLock(heap))
        return f;
    PROCESS_HEAP_ENTRY entry = {};
    while (::HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_REGION) {
            f.committed += entry.Region.dwCommittedSize;
            f.uncommitted += entry.Region.dwUnCommittedSize;
        } else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++f.busyBlocks;
            f.busyBytes += entry.cbData;
            ++f.sizedBlocks[SizeClass(entry.cbData)];
            f.sizedBytes[SizeClass(entry.cbData)] += entry.cbData;
        } else if (!(entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE)) {
            ++f.freeBlocks;
            f.freeBytes += entry.cbData;
            f.largestFree = entry.cbData > f.largestFree ? entry.cbData : f.largestFree;
        }
    }
    ::HeapUnlock(heap);
    return f;
}

const char* Label(HANDLE heap)
{
    if (heap == ::GetProcessHeap())
        return " (process: the controls, LocalAlloc)";
    if (heap == reinterpret_cast<HANDLE>(_get_heap_handle()))
        return " (C runtime: new, malloc)";
    return "";
}

void Report(FILE* out, double seconds)
{
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 16);
    heaps.resize(::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
    for (HANDLE heap : heaps) {
        const HeapFigures f = Walk(heap);
        if (f.committed + f.busyBytes == 0)
            continue;
        std::fprintf(out,
                     "%.0f s heap %p%s: committed %.1f MB (regions; %.1f MB reserved beyond), in use %zu blocks %.1f "
                     "MB [<1K %zu/%.1f, <64K %zu/%.1f, <1M %zu/%.1f, >=1M %zu/%.1f], free %zu blocks %.1f MB, "
                     "largest free %.2f MB\n",
                     seconds, heap, Label(heap), f.committed / kMB, f.uncommitted / kMB, f.busyBlocks,
                     f.busyBytes / kMB, f.sizedBlocks[0], f.sizedBytes[0] / kMB, f.sizedBlocks[1],
                     f.sizedBytes[1] / kMB, f.sizedBlocks[2], f.sizedBytes[2] / kMB, f.sizedBlocks[3],
                     f.sizedBytes[3] / kMB, f.freeBlocks, f.freeBytes / kMB, f.largestFree / kMB);
    }
    std::fflush(out);
}

class CHeapReportApp : public CZelLogConsoleApp {
public:
    BOOL InitInstance() override
    {
        wchar_t path[MAX_PATH] = {};
        if (::GetEnvironmentVariableW(L"ZEL_HEAP_REPORT", path, MAX_PATH) > 0) {
            std::thread([path = std::wstring(path)] {
                FILE* out = _wfopen(path.c_str(), L"a");
                if (!out)
                    return;
                const ULONGLONG start = ::GetTickCount64();
                for (;;) {
                    Report(out, static_cast<double>(::GetTickCount64() - start) / 1000);
                    ::Sleep(kEveryMs);
                }
            }).detach();
        }
        return CZelLogConsoleApp::InitInstance();
    }
};

} // namespace

CHeapReportApp theApp;
