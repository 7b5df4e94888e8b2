#pragma once
// Hands captured debug-output messages from the thread that empties the system's buffer to the
// thread that converts them. The capturing side never waits for the other: when the queue is
// full, the message is dropped and counted, since a writer waits for the buffer while it is held.
// Nor does it wake the other: the taker looks every few milliseconds and takes all there is, so
// a message costs the capture no system call beyond the protocol's own (under Wine each one is
// a round trip to the server that every writer's OutputDebugString waits in line for).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zelsend {

struct CapturedText {
    uint32_t pid = 0;
    std::string text;                         // as the buffer held it: ANSI, without its terminating zero
    std::chrono::system_clock::time_point at; // when it was captured, for --time
};

class CapturedQueue {
public:
    explicit CapturedQueue(size_t maxBytes) : maxBytes_(maxBytes) {}

    // False when the queue holds `maxBytes` already: the message is dropped and counted.
    bool Push(uint32_t pid, std::string text, std::chrono::system_clock::time_point at = {});
    // Takes all messages waiting, with the count dropped since the last take; when there are
    // none, waits `pause` first (or until closed). False once the queue is closed and empty.
    bool Take(std::vector<CapturedText>& texts, uint64_t& dropped, std::chrono::milliseconds pause);
    // No more pushes: Take returns what is left, then false.
    void Close();

private:
    const size_t maxBytes_;
    std::mutex mutex_;
    std::condition_variable closing_;
    std::vector<CapturedText> texts_;
    size_t bytes_ = 0;
    uint64_t dropped_ = 0;
    bool closed_ = false;
};

} // namespace zelsend
