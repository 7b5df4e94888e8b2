#include "syslog/syslog_relay.h"

#include "common/exit_codes.h"
#include "common/line_rules.h"
#include "port/socket.h"
#include "syslog/datagram_intake.h"
#include "syslog/syslog_framing.h"
#include "zel_log_client.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zelsend {
namespace {

// More senders at once than any set of machines forwarding to one operator; each holds at most
// kSyslogBound, so the relay never holds more than about 16 MiB of unfinished messages.
constexpr size_t kMaxConnections = 256;
// How often the relay looks at `stop` when nothing arrives.
constexpr long kPollMicroseconds = 100 * 1000;
// How long datagrams may wait in the intake's queue: the relay looks that often, rather than
// being woken for each (under Wine a wake-up costs the intake round trips to the wineserver);
// after 100 ms without any, it looks less often.
constexpr std::chrono::milliseconds kDatagramWait{5}, kIdleDatagramWait{100};
constexpr int kLooksBeforeIdle = 20;
// Datagrams read but not yet relayed; the relay takes them within milliseconds, so this fills
// only when it gets no time at all, and then what does not fit is dropped and counted.
constexpr size_t kIntakeQueueBytes = 16 * 1024 * 1024;
// At a stop, how long the intake may go on reading what the socket already holds: on Linux
// tens of thousands of datagrams, under Wine on a busy machine one or two thousand.
constexpr std::chrono::milliseconds kLastDatagramsRead{300};

struct Connection {
    explicit Connection(OwnedSocket s) : socket(std::move(s)) {}
    OwnedSocket socket;
    SyslogStream stream;
    uint64_t cutCounted = 0; // of the stream's cut messages, those in the relay's count already
};

unsigned long long Count(uint64_t n)
{
    return static_cast<unsigned long long>(n);
}

std::string Where(const char* protocol, const ListenAddress& at)
{
    return std::string(protocol) + " " + at.address + ":" + std::to_string(at.port);
}

// Binds `s` to `at`, non-blocking; false with `error` set on failure.
bool Bind(OwnedSocket& s, const ListenAddress& at, bool tcp, std::string& error)
{
    std::string why;
    s = ListenOn(at.address, at.port, tcp, why);
    if (!s)
        error = "cannot listen for syslog on " + Where(tcp ? "TCP" : "UDP", at) + ": " + why;
    return static_cast<bool>(s);
}

class SyslogRelay {
public:
    // TCP connections are read kSyslogBound at a time; datagrams, whole, by the intake.
    SyslogRelay(zel::LogClient& client, const LineRules& rules) : client_(client), rules_(rules), buffer_(kSyslogBound)
    {
    }

    bool Listen(const Options& options, std::string& error)
    {
        if (options.syslogUdp.port != 0) {
            if (!Bind(udp_, options.syslogUdp, false, error))
                return false;
            const int granted = GrowReceiveBuffer(udp_.Get());
            std::fprintf(stderr, "zelsend: syslog on %s (receive buffer %d KiB)\n",
                         Where("UDP", options.syslogUdp).c_str(), granted / 1024);
        }
        if (options.syslogTcp.port != 0) {
            if (!Bind(listener_, options.syslogTcp, true, error))
                return false;
            std::fprintf(stderr, "zelsend: syslog on %s\n", Where("TCP", options.syslogTcp).c_str());
        }
        std::fflush(stderr);
        return true;
    }

    void Run(const std::atomic<bool>& stop)
    {
        if (udp_)
            intake_ = std::make_unique<DatagramIntake>(udp_.Get(), kIntakeQueueBytes);
        std::vector<SocketHandle> watched;
        std::vector<char> ready;
        while (!stop.load()) {
            if (!listener_) {
                if (!TakeDatagrams())
                    std::this_thread::sleep_for(DatagramWait());
                continue;
            }
            // The listener first, each connection after it.
            watched.assign({listener_.Get()});
            for (const auto& connection : connections_)
                watched.push_back(connection->socket.Get());
            const long wait = intake_ ? static_cast<long>(DatagramWait().count()) * 1000 : kPollMicroseconds;
            const bool any = WaitReadable(watched, wait, ready);
            if (intake_)
                TakeDatagrams();
            if (!any)
                continue;
            if (ready[0])
                Accept();
            // Connections accepted just now come after `ready`'s end: they are read next time.
            size_t next = 0;
            for (size_t i = 1; i < ready.size(); ++i) {
                if (ready[i] && !Read(*connections_[next]))
                    connections_.erase(connections_.begin() + static_cast<long>(next));
                else
                    ++next;
            }
        }
        // Datagrams that reached the socket before the stop are still relayed.
        if (intake_) {
            intake_->Finish(kLastDatagramsRead);
            TakeDatagrams();
        }
        // Messages cut short by the stop are still shown, as far as they came.
        for (const auto& connection : connections_) {
            lines_.clear();
            connection->stream.Finish(lines_);
            ShowLines(*connection, rules_.StampNow());
        }
    }

    // What became of every message: received, then either left out by the patterns, or handed
    // to the client, which either delivered it, dropped it from its full queue, or still held
    // it when it stopped. The client's counts include the relay's own notices ("[zelsend: ...]"),
    // which are rare: a count is never shown below zero.
    void Report(const zel::LogClientEnd& end) const
    {
        const uint64_t dropped = end.dropped, unsent = end.leftAtStop;
        const uint64_t lost = std::min(relayed_, dropped + unsent);
        std::fprintf(stderr,
                     "zelsend: syslog relay stopped: %llu messages received; %llu reached the console and %llu did "
                     "not: %llu left out by --include/--exclude, %llu dropped by the full queue to the console, %llu "
                     "not delivered at stop. %llu messages relayed, %llu cut at %zu bytes, %s, %llu connections "
                     "refused\n",
                     Count(received_), Count(relayed_ - lost), Count(filtered_ + lost), Count(filtered_),
                     Count(std::min(relayed_, dropped)), Count(lost - std::min(relayed_, dropped)), Count(relayed_),
                     Count(cut_), kSyslogBound, DatagramLosses().c_str(), Count(refused_));
        std::fflush(stderr);
    }

private:
    // Relays what the intake has read, after a line for any datagrams lost before it; false
    // when it had read nothing.
    bool TakeDatagrams()
    {
        if (!intake_->Take(batch_) && batch_.systemDrops == systemDrops_ && !batch_.leftUnread) {
            ++emptyLooks_;
            return false;
        }
        emptyLooks_ = 0;
        if (batch_.systemDrops > systemDrops_) {
            const uint32_t now = batch_.systemDrops - std::exchange(systemDrops_, batch_.systemDrops);
            const bool machine = intake_->Drops() == DropCount::Machine;
            client_.Send("[zelsend: " + std::to_string(now) + " syslog datagrams lost" + (machine ? ", at most" : "") +
                         ": they came faster than the relay could read them" +
                         (machine ? " (Windows counts such losses for the whole machine)" : "") + "]\r\n");
        }
        if (batch_.queueDrops > 0) {
            queueDrops_ += batch_.queueDrops;
            client_.Send("[zelsend: " + std::to_string(batch_.queueDrops) +
                         " syslog datagrams dropped: the relay could not pass them on as fast as it read them]\r\n");
        }
        leftUnread_ = leftUnread_ || batch_.leftUnread;
        const std::string stamp = batch_.Count() > 0 ? rules_.StampNow() : std::string();
        size_t at = 0;
        for (uint32_t size : batch_.sizes) {
            Show(SyslogDatagramLine(std::string_view(batch_.bytes).substr(at, size), kSyslogBound), stamp);
            at += size;
        }
        return true;
    }

    std::chrono::milliseconds DatagramWait() const
    {
        return emptyLooks_ < kLooksBeforeIdle ? kDatagramWait : kIdleDatagramWait;
    }

    // What was lost of the datagrams before the relay had them, in words: the system's count
    // where it keeps one, and "unknown" where it does not, never a 0 it cannot know.
    std::string DatagramLosses() const
    {
        const DropCount scope = intake_ ? intake_->Drops() : udp_ ? DropCount::None : DropCount::Socket;
        std::string said = std::to_string(systemDrops_) + " datagrams lost before they were read";
        if (scope == DropCount::Machine)
            said += " at most (the system's count for every UDP socket of the machine)";
        if (scope == DropCount::None)
            said = "datagrams lost before they were read: unknown (the system does not count them)";
        said += ", " + std::to_string(queueDrops_) + " dropped after reading by the relay's full queue";
        if (leftUnread_)
            said += ", and it stopped with datagrams perhaps still unread, unknown in number";
        return said;
    }

    void Accept()
    {
        OwnedSocket accepted;
        while (AcceptWaiting(listener_.Get(), accepted)) {
            if (!accepted || connections_.size() >= kMaxConnections) {
                accepted.Close();
                ++refused_;
                client_.Send("[zelsend: a syslog connection was refused: the relay holds " +
                             std::to_string(connections_.size()) + ", as many as it can]\r\n");
                continue;
            }
            connections_.push_back(std::make_unique<Connection>(std::move(accepted)));
        }
    }

    // False when the sender has closed its end, or the connection failed.
    bool Read(Connection& connection)
    {
        const long n = ReceiveSome(connection.socket.Get(), buffer_.data(), buffer_.size());
        if (n == kNothingYet)
            return true;
        lines_.clear();
        if (n > 0)
            connection.stream.Feed(std::string_view(buffer_.data(), static_cast<size_t>(n)), lines_);
        else
            connection.stream.Finish(lines_);
        ShowLines(connection, rules_.StampNow());
        return n > 0;
    }

    void ShowLines(Connection& connection, const std::string& stamp)
    {
        cut_ += connection.stream.CutMessages() - std::exchange(connection.cutCounted, connection.stream.CutMessages());
        for (const std::string& line : lines_)
            Show(line, stamp);
    }

    // A message, multi-line or not, is one line to the filters and gets one time stamp.
    void Show(const std::string& line, const std::string& stamp)
    {
        if (line.empty())
            return;
        ++received_;
        if (!rules_.Keeps(std::string_view(line).substr(0, line.size() - 2))) { // without its CR LF
            ++filtered_;
            return;
        }
        client_.Send(stamp.empty() ? line : stamp + line);
        ++relayed_;
    }

    zel::LogClient& client_;
    const LineRules& rules_;
    std::vector<char> buffer_;
    std::vector<std::string> lines_;
    OwnedSocket udp_;
    OwnedSocket listener_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::unique_ptr<DatagramIntake> intake_;
    DatagramBatch batch_;
    uint32_t systemDrops_ = 0;
    uint64_t queueDrops_ = 0;
    bool leftUnread_ = false;
    int emptyLooks_ = 0;
    uint64_t received_ = 0, filtered_ = 0, relayed_ = 0, cut_ = 0, refused_ = 0;
};

} // namespace

int RunSyslogRelay(const Options& options, const LineRules& rules, zel::LogClient& client,
                   const std::atomic<bool>& stop)
{
    SyslogRelay relay(client, rules);
    std::string error;
    if (!relay.Listen(options, error))
        return Fail(error);
    relay.Run(stop);
    // The client hands the last lines over while the console takes them, and the view's last
    // line counts those it gave up; the report counts them too.
    relay.Report(client.Close());
    return kExitSent;
}

} // namespace zelsend
