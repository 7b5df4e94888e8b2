#include "syslog/datagram_intake.h"

#include <algorithm>

namespace zelsend {
namespace {

// Every datagram fits: IPv4 carries at most 65,507 bytes, IPv6 65,527.
constexpr size_t kLargestDatagram = 65536;
// How long a read waits for a datagram before the reader looks at Finish again; at a stop, the
// socket counts as empty once a read has waited this long.
constexpr long kReadWaitMilliseconds = 100;
// How often the machine's count of drops is asked for: under Wine an answer takes about a
// millisecond, from another process.
constexpr std::chrono::milliseconds kDropLookInterval{250};

} // namespace

void DatagramBatch::Clear()
{
    bytes.clear();
    sizes.clear();
    queueDrops = 0;
    leftUnread = false;
}

DatagramIntake::DatagramIntake(SocketHandle socket, size_t queueBytes) : socket_(socket), queueBytes_(queueBytes)
{
    // A blocking read costs one round trip to the wineserver for each datagram; a read that finds
    // nothing and a wait for the socket cost two more.
    blocking_ = BlockWithTimeout(socket_, kReadWaitMilliseconds);
    dropScope_ = SystemDropCount(socket_, dropBase_);
    thread_ = std::thread([this] { Run(); });
}

DatagramIntake::~DatagramIntake()
{
    Finish(std::chrono::milliseconds(0));
}

bool DatagramIntake::Take(DatagramBatch& batch)
{
    batch.Clear();
    LookAtMachineDrops();
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(batch, queued_);
    queued_.systemDrops = batch.systemDrops; // a running count: it stays
    return batch.Count() > 0 || batch.queueDrops > 0;
}

void DatagramIntake::Finish(std::chrono::milliseconds limit)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finishing_)
            return;
        finishing_ = true;
        finishBy_ = std::chrono::steady_clock::now() + limit;
    }
    thread_.join();
}

// A count for the whole machine comes with no datagram: it is asked for now and then.
void DatagramIntake::LookAtMachineDrops()
{
    const auto now = std::chrono::steady_clock::now();
    if (dropScope_ != DropCount::Machine || now < nextDropLook_)
        return;
    nextDropLook_ = now + kDropLookInterval;
    uint32_t count = dropBase_;
    if (SystemDropCount(socket_, count) != DropCount::Machine)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.systemDrops = std::max(queued_.systemDrops, count - dropBase_); // wraps as the count does
}

// Called with the lock held.
void DatagramIntake::Append(std::string_view datagram)
{
    if (queued_.bytes.size() + datagram.size() > queueBytes_ && !queued_.sizes.empty()) {
        ++queued_.queueDrops;
        return;
    }
    queued_.bytes.append(datagram);
    queued_.sizes.push_back(static_cast<uint32_t>(datagram.size()));
}

void DatagramIntake::Run()
{
    std::vector<char> buffer(kLargestDatagram);
    const std::vector<SocketHandle> watched{socket_};
    std::vector<char> ready;
    uint32_t dropped = 0;
    bool leftUnread = false;
    for (;;) {
        const long n = ReceiveDatagram(socket_, buffer.data(), buffer.size(), dropped);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (n >= 0) {
                Append(std::string_view(buffer.data(), static_cast<size_t>(n)));
                queued_.systemDrops = std::max(queued_.systemDrops, dropped);
                if (finishing_ && std::chrono::steady_clock::now() >= finishBy_) {
                    leftUnread = true; // no way to tell whether more were waiting: say it may be so
                    break;
                }
                continue;
            }
            if (finishing_)
                break;
        }
        // A socket the system would not make blocking returns at once: wait for it instead.
        if (!blocking_)
            WaitReadable(watched, kReadWaitMilliseconds * 1000, ready);
    }
    // The system's count once reading is done: drops after the last datagram read count too.
    uint32_t total = dropped;
    const DropCount scope = SystemDropCount(socket_, total);
    if (scope == DropCount::Machine)
        total -= dropBase_;
    std::lock_guard<std::mutex> lock(mutex_);
    if (scope != DropCount::None)
        queued_.systemDrops = std::max(queued_.systemDrops, total);
    queued_.leftUnread = leftUnread;
}

} // namespace zelsend
