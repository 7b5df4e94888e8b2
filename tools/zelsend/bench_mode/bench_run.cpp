#include "bench_mode/bench_run.h"

#include "bench_mode/bench_payload.h"
#include "port/socket.h"
#include "zel_log_client.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zelsend {
namespace {

// Frames go out in batches of about this many bytes: one send per frame would measure the
// system calls rather than the console.
constexpr size_t kBatchBytes = 64 * 1024;

struct Shared {
    std::atomic<int64_t> frames{0};
    std::mutex mutex;
    std::string firstError; // guarded by mutex

    void Fail(int client, const std::string& error)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (firstError.empty())
            firstError = "client " + std::to_string(client) + ": " + error;
    }
};

void SendFrames(Socket& socket, int client, int64_t count, size_t size, Shared& shared)
{
    std::string batch;
    batch.reserve(kBatchBytes + size + 4);
    std::string error;
    for (int64_t seq = 0; seq < count;) {
        batch.clear();
        int64_t inBatch = 0;
        while (seq < count && (inBatch == 0 || batch.size() + size + 4 <= kBatchBytes)) {
            zel::detail::AppendFrame(batch, MakeBenchPayload(client, seq++, size));
            ++inBatch;
        }
        if (!socket.SendAll(batch.data(), batch.size(), error)) {
            shared.Fail(client, error);
            return;
        }
        shared.frames += inBatch;
    }
    socket.ShutdownSend();
    socket.Close();
}

} // namespace

bool RunBench(const std::string& host, uint16_t port, int clients, int64_t framesPerClient, size_t frameSize,
              BenchResult& result, std::string& error)
{
    result = BenchResult{};
    std::vector<Socket> sockets(clients);
    for (int c = 0; c < clients; ++c) {
        if (!sockets[c].Connect(host, port, error)) {
            error = "client " + std::to_string(c) + ": " + error;
            return false;
        }
    }

    Shared shared;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    threads.reserve(clients);
    for (int c = 0; c < clients; ++c) {
        // A 32-bit process runs out of address space for stacks long before 1000 threads.
        try {
            threads.emplace_back(SendFrames, std::ref(sockets[c]), c, framesPerClient, frameSize, std::ref(shared));
        } catch (const std::system_error&) {
            shared.Fail(c, "cannot start a thread for it; try fewer clients");
            break;
        }
    }
    for (std::thread& t : threads)
        t.join();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    result.frames = shared.frames;
    result.bytes = result.frames * static_cast<int64_t>(frameSize);
    result.seconds = elapsed.count();
    error = shared.firstError;
    return error.empty();
}

std::string FormatBenchResult(const BenchResult& r)
{
    const double seconds = r.seconds > 0 ? r.seconds : 1e-9;
    char text[200];
    std::snprintf(text, sizeof text, "%lld frames, %lld bytes in %.3f s: %.0f frames/s, %.2f MB/s",
                  static_cast<long long>(r.frames), static_cast<long long>(r.bytes), r.seconds,
                  static_cast<double>(r.frames) / seconds, static_cast<double>(r.bytes) / seconds / 1e6);
    return text;
}

} // namespace zelsend
