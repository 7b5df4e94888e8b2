#pragma once
// The load test: several clients at once, each on its own connection and thread.
#include <cstdint>
#include <string>

namespace zelsend {

struct BenchResult {
    int64_t frames = 0; // frames handed to the network by all clients
    int64_t bytes = 0;  // their text, without the length fields
    double seconds = 0; // from the first send to the last client's close
};

// Connects all clients first, so the time counts sending only. Returns false with `error`
// when a client cannot connect or send; `result` then holds what was sent before that.
bool RunBench(const std::string& host, uint16_t port, int clients, int64_t framesPerClient, size_t frameSize,
              BenchResult& result, std::string& error);

std::string FormatBenchResult(const BenchResult& result);

} // namespace zelsend
