// zel_bench --churn ROUNDS [--no-view]: the soak's rounds in-process, as fast as the view takes
// them: frames split and decoded as a connection does, offered to the pipe, shown by the real
// console window; six large frames begun and abandoned each round; every third round a
// 200,000-letter frame; a clear every fifth. Every 25 rounds, after the clear, walks the
// process's heaps. --no-view drops the slices instead of showing them: the pipe, splitter and
// decoder alone.
#include "heap_churn.h"

#include <windows.h>

#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_payload.h"
#include "bench_stats.h"
#include "log/log_registry.h"
#include "net/frame_splitter.h"
#include "net/payload_decoder.h"
#include "res/resource.h"
#include "tests/common/wire_text.h"
#include "tests/win/pump.h"
#include "ui/zel_log_console_dlg.h"

namespace zelbench {
namespace {

struct HeapUse {
    size_t committed = 0, busy = 0, freeBytes = 0;
};

HeapUse Walk(HANDLE heap)
{
    HeapUse use;
    PROCESS_HEAP_ENTRY entry = {};
    ::HeapLock(heap);
    while (::HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_REGION)
            use.committed += entry.Region.dwCommittedSize;
        else if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            use.busy += entry.cbData;
        else if (!(entry.wFlags & PROCESS_HEAP_UNCOMMITTED_RANGE))
            use.freeBytes += entry.cbData;
    }
    ::HeapUnlock(heap);
    return use;
}

void PrintHeaps(int round)
{
    const HeapUse process = Walk(::GetProcessHeap());
    const HeapUse crt = Walk(reinterpret_cast<HANDLE>(_get_heap_handle()));
    std::printf("%6d %8.1f   %8.1f %8.1f %8.1f   %8.1f %8.1f %8.1f\n", round,
                static_cast<double>(Memory(::GetCurrentProcess()).WorkingSetSize) / kMB, process.committed / kMB,
                process.busy / kMB, process.freeBytes / kMB, crt.committed / kMB, crt.busy / kMB, crt.freeBytes / kMB);
    std::fflush(stdout);
}

// One connection's bytes, read in chunks as the console reads them, its frames offered.
void Feed(CFrameSplitter& splitter, const std::string& bytes, CLogPipe& pipe)
{
    constexpr size_t kChunk = 256 * 1024;
    for (size_t at = 0; at < bytes.size(); at += kChunk) {
        splitter.Feed(reinterpret_cast<const uint8_t*>(bytes.data()) + at, std::min(kChunk, bytes.size() - at),
                      [&pipe](const char* payload, size_t) { pipe.Offer(DecodePayload(payload)); });
    }
}

} // namespace

int HeapChurnMain(int rounds, bool view)
{
    CLogPipe& pipe = CLogRegistry::GetInstance()->m_pipe;
    CZelLogConsoleDlg dlg;
    if (view && !dlg.Create()) {
        std::printf("churn: FAILED: no window\n");
        return 1;
    }
    std::printf("churn: %d rounds %s\n%6s %8s   %8s %8s %8s   %8s %8s %8s\n", rounds,
                view ? "through the console's window" : "without a view", "round", "WS MB", "proc com", "in use",
                "free", "crt com", "in use", "free");
    std::string letters(200000, 'A');
    for (size_t i = 0; i < letters.size(); ++i)
        letters[i] = static_cast<char>('A' + i % 26);
    const std::string partial = LengthBytes(500000) + std::string(30000 - 4, 'r');
    const double start = Now();
    for (int round = 1; round <= rounds; ++round) {
        std::vector<CFrameSplitter> abandoned(6);
        for (CFrameSplitter& splitter : abandoned)
            Feed(splitter, partial, pipe);
        for (int c = 0; c < 12; ++c) {
            std::string stream;
            for (int64_t i = 0; i < 2000; ++i)
                stream += Frame(zelsend::MakeBenchPayload(c, i, 100));
            CFrameSplitter splitter;
            Feed(splitter, stream, pipe);
            if (c == 5 && round % 3 == 0) {
                CFrameSplitter unbroken;
                Feed(unbroken, Frame(letters), pipe);
            }
            if (view)
                PumpUntil([&pipe] { return pipe.Empty(); }, 600000);
            while (!view && !pipe.Empty()) {
                const CString slice = pipe.TakeSlice(SIZE_MAX);
                pipe.RecordAppend(slice.size(), 20 + static_cast<double>(slice.size()) / 10000);
            }
        }
        abandoned.clear();
        if (round % 5 != 0)
            continue;
        if (view)
            dlg.Send(WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED),
                     reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_CLEAR_LOG)));
        PumpPending(50);
        if (round % 25 == 0 || round == 5)
            PrintHeaps(round);
    }
    std::printf("churn: %.1f s\n", Now() - start);
    return 0;
}

} // namespace zelbench
