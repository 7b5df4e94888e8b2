#pragma once
// A connection as the pipe sees it, for the pipe's tests: reads what it is allowed into its
// frame, and counts the times it is woken or dropped.
#include <cstddef>

#include "log/log_pipe.h"

constexpr size_t kMiB = 1024 * 1024;
constexpr size_t kLargeFrame = 16 * kMiB;
constexpr size_t kChunk = 256 * 1024;

struct FakeReader {
    explicit FakeReader(CLogPipe& pipe)
        : reader(
              pipe, [this] { ++resumed; }, [this] { ++dropped; })
    {
    }

    // One read notification of a client that has up to `most` bytes there, in a frame of
    // `frameLength`.
    size_t ReadOnce(size_t frameLength, size_t most = kChunk)
    {
        const size_t allowed = reader.MayRead(frameLength, most);
        if (allowed == 0)
            return 0;
        held += allowed;
        reader.Holding(held, frameLength);
        return allowed;
    }
    void FinishFrame()
    {
        held = 0;
        reader.Holding(0, 0);
    }

    CLogPipe::Reader reader;
    size_t held = 0;
    int resumed = 0;
    int dropped = 0;
};
