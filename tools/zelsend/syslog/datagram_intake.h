#pragma once
// The relay's UDP intake: a thread that does nothing but read datagrams into a queue, so that the
// system's receive buffer is emptied as fast as the system lets a program read it, whatever the
// rest of the relay is doing. Under Wine every read is a round trip to the wineserver, and a full
// buffer loses datagrams without a count (docs/performance.md, the relay's intake).
#include "port/socket.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelsend {

// Datagrams in the order they were read: their bytes end to end, and the size of each.
struct DatagramBatch {
    std::string bytes;
    std::vector<uint32_t> sizes;
    // The system's count of datagrams it dropped, as last told: the socket's own, or on Windows
    // the machine's growth since the intake began (DatagramIntake::Drops).
    uint32_t systemDrops = 0;
    // Datagrams read but dropped since the last batch because the queue was full.
    uint64_t queueDrops = 0;
    // Reading ended at Finish's limit with datagrams perhaps still waiting, not counted.
    bool leftUnread = false;

    void Clear();
    size_t Count() const { return sizes.size(); }
};

class DatagramIntake {
public:
    // Reads `socket` (made blocking; it must stay open until Finish has returned) on a thread of
    // its own, into a queue of at most `queueBytes`; past it, new datagrams are dropped and counted.
    DatagramIntake(SocketHandle socket, size_t queueBytes);
    ~DatagramIntake();
    DatagramIntake(const DatagramIntake&) = delete;
    DatagramIntake& operator=(const DatagramIntake&) = delete;

    // Swaps what was read since the last call into `batch` (which is cleared first); false when
    // nothing was. It never waits for the reader: under Wine each wake-up between threads costs
    // round trips to the wineserver, which the reader needs for every datagram.
    bool Take(DatagramBatch& batch);

    // Reads what the socket already holds, for at most `limit`, then stops reading: a relay that
    // stops loses nothing that had reached it. What was read is left for Take.
    void Finish(std::chrono::milliseconds limit);

    // Whose drops systemDrops counts.
    DropCount Drops() const { return dropScope_; }

private:
    void LookAtMachineDrops();
    void Run();
    void Append(std::string_view datagram);

    SocketHandle socket_;
    size_t queueBytes_;
    std::mutex mutex_;
    DatagramBatch queued_;
    bool finishing_ = false; // Finish was called: read until the socket is empty, then end
    bool blocking_ = false;  // reads wait for data (else the reader waits with select)
    std::chrono::steady_clock::time_point finishBy_;
    DropCount dropScope_ = DropCount::None;
    uint32_t dropBase_ = 0; // the machine's count when the intake began
    std::chrono::steady_clock::time_point nextDropLook_;
    std::thread thread_;
};

} // namespace zelsend
