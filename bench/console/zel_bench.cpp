// zel_bench K N SIZE [--batch CHARS] [--no-ceiling] [--keys] [--focus-view]: K clients send N
// numbered frames of SIZE bytes each to the real console; prints how fast the view fills, how
// the window answers meanwhile (and, with --keys, how soon it acts on an operator's key
// presses), the console's peak memory, and the ceiling: the same text appended by a plain edit
// control in a process of its own (zel_bench --ceiling K N SIZE CHARS).
//
// zel_bench --view-cost MILLIONS [--focused]: the view's control alone, filled step by step.
// zel_bench --stream MILLIONS [SIZE [LIMIT_SECONDS]]: a long run through the real console.
// zel_bench --unbroken [--no-ceiling], --large [LIMIT_SECONDS], --unbroken-large [LIMIT_SECONDS],
// --behind-unbroken [MIB]: text without line breaks, 16 MiB frames, and a line from a second
// client behind an unbroken frame (see unbroken_load.h).
// zel_bench --hold-large [CLIENTS], --empty-flood [SECONDS], --idle-partial [CLIENTS]: clients
// that would exhaust the console (see hostile_clients.h).
// zel_bench --save-full: a save of a full view while frames arrive (see save_near_capacity.h).
// zel_bench --soak MINUTES [--heaps]: rounds of mixed clients and clears for that long, with
// the console's memory every minute (see soak.h).
// zel_bench --decode-cost: the decoding of one frame, up to 16 MiB, in-process.
// zel_bench --unbroken-cost PIECE CHARS SECONDS [--no-wrap]: the unbroken ceiling's append as
// the run grows (--no-wrap: in a control like the view that does not wrap).
// zel_bench --unbroken-pieces MAX_CHARS SECONDS: the view's append by run length and piece size.
// zel_bench --where-time K N SIZE: where the console's thread spends a burst (see where_time.h).
#include <winsock2.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console_burst.h"
#include "decode_cost.h"
#include "edit_ceiling.h"
#include "hostile_clients.h"
#include "save_near_capacity.h"
#include "soak.h"
#include "unbroken_ceiling.h"
#include "unbroken_load.h"
#include "unbroken_pieces.h"
#include "view_cost.h"
#include "view_stream.h"
#include "where_time.h"

namespace {

std::string ProcessorName()
{
    char name[128] = {};
    DWORD size = sizeof name;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
                       RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
        return "unknown";
    return name;
}

std::string WineVersion()
{
    using GetVersion = const char*(__cdecl*)();
    auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return get ? std::string("Wine ") + get() : "not Wine";
}

void PrintMachine()
{
    SYSTEM_INFO info;
    ::GetNativeSystemInfo(&info);
    std::printf("machine: %s, %lu cores, %s\n", ProcessorName().c_str(), info.dwNumberOfProcessors,
                WineVersion().c_str());
}

void PrintSamples(const char* what, const zelbench::Samples& s)
{
    std::printf("%s (%zu samples): median %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms; %.1f %% over 100 ms\n", what,
                s.Count(), s.Median(), s.Quantile(0.90), s.Quantile(0.99), s.Max(), 100.0 * s.ShareOver(100));
}

// A mode against the real console: its clients need Winsock.
template <class Mode>
int WithWinsock(Mode mode)
{
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    PrintMachine();
    std::fflush(stdout);
    const int status = mode();
    ::WSACleanup();
    return status;
}

// The modes against the real console that take one optional number, and its default.
struct ConsoleMode {
    const char* name;
    int (*run)(int);
    int byDefault;
};

const ConsoleMode kConsoleModes[] = {
    {"--large", zelbench::LargeFramesMain, 360},
    {"--unbroken-large", zelbench::UnbrokenLargeMain, 120},
    {"--behind-unbroken", zelbench::BehindUnbrokenMain, 4},
    {"--hold-large", zelbench::HoldLargeMain, 150},
    {"--empty-flood", zelbench::EmptyFloodMain, 15},
    {"--idle-partial", zelbench::IdlePartialMain, 1400},
};

// Clients send a burst of frames; the console's rate is set against the edit control's own.
int BurstMode(const zelbench::BenchLoad& load, size_t batch, bool ceilingToo, bool pressKeys, bool focusView)
{
    const auto chars = static_cast<double>(load.Chars());
    std::printf("load: %d x %lld frames of %zu", load.clients, static_cast<long long>(load.framesPerClient),
                load.frameSize);
    if (load.frameSizeMax > load.frameSize)
        std::printf(" to %zu", load.frameSizeMax);
    std::printf(" bytes (%lld frames, %.0f characters)\n", static_cast<long long>(load.Frames()), chars);
    std::fflush(stdout);

    const zelbench::BurstResult burst = zelbench::RunConsoleBurst(load, pressKeys, focusView);
    if (!burst.error.empty()) {
        std::printf("console: FAILED: %s\n", burst.error.c_str());
        PrintSamples("window round trip", burst.watched.roundTripMs);
        if (pressKeys)
            PrintSamples("keyboard (Tab) until the focus moved", burst.watched.keyMs);
        return 1;
    }
    const double consoleRate = static_cast<double>(load.Frames()) / burst.seconds;
    std::printf("console: %.2f s from the first byte sent to the last frame shown: %.0f frames/s, %.0f characters/s\n",
                burst.seconds, consoleRate, chars / burst.seconds);
    std::printf("view: %zu characters, %d lines; %s: %s\n", burst.viewChars, burst.viewLines,
                burst.verified ? "verified" : "NOT VERIFIED", burst.verifySummary.c_str());
    PrintSamples("window round trip", burst.watched.roundTripMs);
    PrintSamples("view waiting for paint", burst.watched.staleMs);
    if (pressKeys) {
        PrintSamples("keyboard (Tab) until the focus moved", burst.watched.keyMs);
        std::printf("keys not acted on within 10 s: %d\n", burst.watched.keysLost);
    }
    const double budgetMB = 4.0 * static_cast<double>(burst.viewChars) / (1024.0 * 1024.0) + 30;
    std::printf("memory: peak working set %.1f MB, peak private %.1f MB (idle %.1f MB); budget 4 B/char + 30 MB "
                "= %.1f MB\n",
                burst.peakWorkingSetMB, burst.peakPrivateMB, burst.idleWorkingSetMB, budgetMB);
    std::fflush(stdout);
    if (!ceilingToo)
        return burst.verified ? 0 : 1;

    const zelbench::CeilingResult ceiling =
        zelbench::RunCeilingProcess(load.clients, static_cast<long long>(load.framesPerClient), load.frameSize, batch);
    if (ceiling.seconds <= 0) {
        std::printf("ceiling: FAILED\n");
        return 1;
    }
    const double ceilingRate = static_cast<double>(load.Frames()) / ceiling.seconds;
    std::printf("ceiling: edit control alone, %d batches of up to %zu characters: %.2f s, %.0f frames/s "
                "(%.2f s of processor time), peak working set %.1f MB\n",
                ceiling.batches, batch, ceiling.seconds, ceilingRate, ceiling.cpuSeconds, ceiling.peakWorkingSetMB);
    std::printf("ceiling append: median %.1f ms, max %.1f ms; paint after it: median %.1f ms, max %.1f ms\n",
                ceiling.append.median, ceiling.append.max, ceiling.paint.median, ceiling.paint.max);
    std::printf("console/ceiling: %.0f %% of the frames/s\n", 100.0 * consoleRate / ceilingRate);
    return burst.verified ? 0 : 1;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: zel_bench CLIENTS FRAMES SIZE|MIN-MAX [--batch CHARS] [--no-ceiling] [--keys] [--focus-view]\n"
                 "       zel_bench --unbroken [--no-ceiling] | --large [LIMIT_SECONDS]\n"
                 "       zel_bench --unbroken-large [LIMIT_SECONDS] | --behind-unbroken [MIB]\n"
                 "       zel_bench --hold-large [CLIENTS] | --empty-flood [SECONDS] | --idle-partial [CLIENTS]\n"
                 "       zel_bench --save-full\n"
                 "       zel_bench --soak MINUTES [--heaps]\n"
                 "       zel_bench --decode-cost | --unbroken-cost PIECE CHARS SECONDS [--no-wrap]\n"
                 "       zel_bench --unbroken-pieces MAX_CHARS SECONDS | --where-time K N SIZE [--mix]\n"
                 "       zel_bench --view-cost MILLIONS [--focused] | --stream MILLIONS [SIZE [LIMIT_SECONDS]]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--ceiling") == 0) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        return zelbench::CeilingProcessMain(std::atoi(argv[2]), std::atoll(argv[3]),
                                            static_cast<size_t>(std::atoll(argv[4])),
                                            static_cast<size_t>(std::atoll(argv[5])));
    }
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--unbroken-cost") == 0) {
        PrintMachine();
        return zelbench::UnbrokenCeilingMain(static_cast<size_t>(std::atoll(argv[2])),
                                             static_cast<size_t>(std::atoll(argv[3])), std::atoi(argv[4]),
                                             argc == 6 && std::strcmp(argv[5], "--no-wrap") == 0);
    }
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--where-time") == 0) {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
        const bool mix = argc == 6 && std::strcmp(argv[5], "--mix") == 0;
        return WithWinsock(
            [&] { return zelbench::WhereTimeMain(std::atoi(argv[2]), std::atoll(argv[3]), std::atoi(argv[4]), mix); });
    }
    if (argc == 4 && std::strcmp(argv[1], "--unbroken-pieces") == 0) {
        PrintMachine();
        return zelbench::UnbrokenPiecesMain(std::atoll(argv[2]), std::atoi(argv[3]));
    }
    if (argc == 4 && std::strcmp(argv[1], "--unbroken-ceiling") == 0)
        return zelbench::UnbrokenCeilingMain(static_cast<size_t>(std::atoll(argv[2])),
                                             static_cast<size_t>(std::atoll(argv[3])));
    if (argc >= 2 && std::strcmp(argv[1], "--unbroken") == 0) {
        const bool noCeiling = argc >= 3 && std::strcmp(argv[2], "--no-ceiling") == 0;
        return WithWinsock([&] { return zelbench::UnbrokenMain(!noCeiling); });
    }
    for (const ConsoleMode& mode : kConsoleModes) {
        if (argc >= 2 && std::strcmp(argv[1], mode.name) == 0)
            return WithWinsock([&] { return mode.run(argc >= 3 ? std::atoi(argv[2]) : mode.byDefault); });
    }
    if (argc == 2 && std::strcmp(argv[1], "--decode-cost") == 0) {
        PrintMachine();
        return zelbench::DecodeCostMain();
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--soak") == 0) {
        const bool heaps = argc == 4 && std::strcmp(argv[3], "--heaps") == 0;
        return WithWinsock([&] { return zelbench::SoakMain(std::atoi(argv[2]), heaps); });
    }
    if (argc == 2 && std::strcmp(argv[1], "--save-full") == 0)
        return WithWinsock([] { return zelbench::SaveFullMain(); });
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--view-cost") == 0) {
        PrintMachine();
        return zelbench::ViewCostMain(std::atoi(argv[2]), argc == 4 && std::strcmp(argv[3], "--focused") == 0);
    }
    if (argc >= 3 && std::strcmp(argv[1], "--stream") == 0) {
        const size_t frameSize = argc >= 4 ? static_cast<size_t>(std::atoll(argv[3])) : 100;
        const int limitSeconds = argc >= 5 ? std::atoi(argv[4]) : 3600;
        return WithWinsock([&] { return zelbench::ViewStreamMain(std::atoi(argv[2]), frameSize, 120, limitSeconds); });
    }
    if (argc < 4)
        return Usage();
    zelbench::BenchLoad load;
    load.clients = std::atoi(argv[1]);
    load.framesPerClient = std::atoll(argv[2]);
    // SIZE, or MIN-MAX for frames of every size between.
    load.frameSize = static_cast<size_t>(std::atoll(argv[3]));
    if (const char* dash = std::strchr(argv[3], '-'))
        load.frameSizeMax = static_cast<size_t>(std::atoll(dash + 1));
    size_t batch = 1024 * 1024;
    bool ceilingToo = true;
    bool pressKeys = false;
    bool focusView = false;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--batch") == 0 && i + 1 < argc)
            batch = static_cast<size_t>(std::atoll(argv[++i]));
        else if (std::strcmp(argv[i], "--no-ceiling") == 0)
            ceilingToo = false;
        else if (std::strcmp(argv[i], "--keys") == 0)
            pressKeys = true;
        else if (std::strcmp(argv[i], "--focus-view") == 0)
            focusView = true;
        else
            return Usage();
    }
    if (load.clients < 1 || load.framesPerClient < 1 || load.frameSize < 25)
        return Usage();
    // The control-alone ceiling takes frames of one size.
    ceilingToo = ceilingToo && load.frameSizeMax <= load.frameSize;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    return WithWinsock([&] { return BurstMode(load, batch, ceilingToo, pressKeys, focusView); });
}
