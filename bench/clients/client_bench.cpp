// zel::LogClient under load: T threads each log N lines of SIZE bytes into a local receiver that
// splits frames as the console does. Prints how long each Send call took (median, p99, max),
// the lines per second from the first Send until the receiver had every line, and any loss.
// RATE paces the threads to that many lines per second in all (0: as fast as they can).
//   client_bench [THREADS=4] [LINES_PER_THREAD=250000] [SIZE=100] [RATE=0]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "testkit/bench_report.h"
#include "testkit/frame_receiver.h"
#include "zel_log_client.h"

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

int main(int argc, char** argv)
{
    const int threads = argc > 1 ? std::atoi(argv[1]) : 4;
    const int lines = argc > 2 ? std::atoi(argv[2]) : 250000;
    const int size = argc > 3 ? std::atoi(argv[3]) : 100;
    const double rate = argc > 4 ? std::atof(argv[4]) : 0;
    if (threads < 1 || lines < 1 || size < 16) {
        std::fprintf(stderr, "usage: client_bench [THREADS] [LINES_PER_THREAD] [SIZE>=16] [LINES_PER_SECOND]\n");
        return 2;
    }
    PrintMachine();
    FrameReceiver receiver(false);
    if (!receiver.Start()) {
        std::fprintf(stderr, "client_bench: cannot listen\n");
        return 1;
    }

    std::vector<std::vector<double>> took(static_cast<size_t>(threads));
    const auto start = Clock::now();
    {
        zel::LogClient client("127.0.0.1", receiver.Port());
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                std::string text(static_cast<size_t>(size), char('a' + t));
                text[size_t(size) - 2] = '\r';
                text[size_t(size) - 1] = '\n';
                auto& mine = took[size_t(t)];
                mine.reserve(size_t(lines));
                for (int i = 0; i < lines; ++i) {
                    if (rate > 0 && i % 100 == 0) // paced in steps of 100 lines per thread
                        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                                  std::chrono::duration<double>(i * threads / rate)));
                    char number[32];
                    std::snprintf(number, sizeof number, "%02d %08d ", t % 100, i % 100000000);
                    text.replace(0, 12, number, 12);
                    const auto before = Clock::now();
                    client.Send(text);
                    mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
                }
            });
        for (auto& w : workers)
            w.join();
        client.Flush(std::chrono::seconds(60));
        const size_t total = size_t(threads) * size_t(lines);
        const size_t dropped = size_t(client.DroppedLines());
        // Every line arrives, or is dropped and counted by a notice frame of its own.
        receiver.WaitForLines(total - dropped, std::chrono::seconds(60));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

        std::vector<double> all;
        for (auto& t : took)
            all.insert(all.end(), t.begin(), t.end());
        std::sort(all.begin(), all.end());
        const size_t received = receiver.FrameCount() - receiver.NoticeCount();
        std::printf("%d threads x %d lines of %d bytes, %s\n", threads, lines, size,
                    rate > 0 ? ("paced at " + std::to_string(long(rate)) + " lines/s").c_str() : "unpaced");
        std::printf("Send: median %.2f us, p99 %.2f us, p99.9 %.2f us, max %.1f us\n", Percentile(all, 0.5),
                    Percentile(all, 0.99), Percentile(all, 0.999), all.back());
        std::printf("delivered: %.0f lines/s (%zu lines received in %.3f s)\n", double(received) / seconds, received,
                    seconds);
        std::printf("dropped (queue full, counted): %zu; lost without a count: %lld\n", dropped,
                    static_cast<long long>(total) - static_cast<long long>(received + dropped));
    }
    return 0;
}
