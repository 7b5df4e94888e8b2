#include "edit_ceiling.h"

#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench_child.h"
#include "bench_stats.h"
#include "bench_text.h"
#include "plain_dialog.h"
#include "res/resource.h"

namespace zelbench {
namespace {

Spread SpreadOf(const Samples& s)
{
    return Spread{s.Median(), s.Quantile(0.99), s.Max()};
}

CeilingResult MeasureEditCeiling(const std::wstring& text, const std::vector<size_t>& frameEnds, size_t batchChars)
{
    CeilingResult result;
    HWND dialog = ShowPlainDialog();
    if (!dialog)
        return result;
    HWND view = ::GetDlgItem(dialog, IDC_LOG_VIEW);

    Samples appendMs, paintMs;
    const double cpuStart = ThreadCpuSeconds();
    const double start = Now();
    size_t from = 0;
    auto end = frameEnds.begin();
    while (from < text.size()) {
        // Whole frames, as many as fit (at least one).
        auto next = end;
        while (next != frameEnds.end() && (next == end || *next - from <= batchChars))
            ++next;
        const size_t to = *(next - 1);
        const std::wstring batch = text.substr(from, to - from);
        const double a = Now();
        AppendAtEnd(view, batch.c_str());
        const double b = Now();
        PumpQueued();
        appendMs.Add((b - a) * 1000);
        paintMs.Add((Now() - b) * 1000);
        ++result.batches;
        from = to;
        end = next;
    }
    result.seconds = Now() - start;
    result.cpuSeconds = ThreadCpuSeconds() - cpuStart;
    result.chars = static_cast<size_t>(::SendMessageW(view, WM_GETTEXTLENGTH, 0, 0));
    result.append = SpreadOf(appendMs);
    result.paint = SpreadOf(paintMs);
    ::DestroyWindow(dialog);
    PumpQueued();
    return result;
}

} // namespace

int CeilingProcessMain(int clients, long long framesPerClient, size_t frameSize, size_t batchChars)
{
    BenchLoad load;
    load.clients = clients;
    load.framesPerClient = framesPerClient;
    load.frameSize = frameSize;
    std::vector<size_t> frameEnds;
    const std::wstring text = ViewText(load, &frameEnds);
    const CeilingResult r = MeasureEditCeiling(text, frameEnds, batchChars);
    std::printf("%.6f %.6f %.3f %zu %d %.3f %.3f %.3f %.3f %.3f %.3f\n", r.seconds, r.cpuSeconds,
                static_cast<double>(Memory(::GetCurrentProcess()).PeakWorkingSetSize) / kMB, r.chars, r.batches,
                r.append.median, r.append.p99, r.append.max, r.paint.median, r.paint.p99, r.paint.max);
    return r.seconds > 0 ? 0 : 1;
}

CeilingResult RunCeilingProcess(int clients, long long framesPerClient, size_t frameSize, size_t batchChars)
{
    CeilingResult result;
    const std::string output =
        RunBenchChild(L"--ceiling " + std::to_wstring(clients) + L" " + std::to_wstring(framesPerClient) + L" " +
                      std::to_wstring(frameSize) + L" " + std::to_wstring(batchChars));
    std::istringstream in(output);
    in >> result.seconds >> result.cpuSeconds >> result.peakWorkingSetMB >> result.chars >> result.batches >>
        result.append.median >> result.append.p99 >> result.append.max >> result.paint.median >> result.paint.p99 >>
        result.paint.max;
    if (!in)
        result.seconds = 0;
    return result;
}

} // namespace zelbench
