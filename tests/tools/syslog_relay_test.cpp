// The real zelsend --syslog-udp/--syslog-tcp between real sockets (POSIX only): many TCP senders
// at once, datagrams, the limit on connections, a listen that fails, and the report at the end.
// The console is stood in for by a listener that splits frames with the console's own splitter.
#include "testkit/frame_receiver.h"
#ifndef _WIN32
#include "testkit/zelsend_posix.h"
#endif

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#endif

namespace {
#ifndef _WIN32
using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kTimeLimit{30}; // so a hung relay fails the test, not CI

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int Socket(int type, uint16_t port = 0)
{
    const int fd = socket(AF_INET, type, 0);
    const sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && port == 0)
        ADD_FAILURE() << "cannot bind a loopback socket";
    return fd;
}

uint16_t PortOf(int fd)
{
    sockaddr_in a{};
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    return ntohs(a.sin_port);
}

// A port nothing holds now, for the relay to take.
uint16_t FreePort(int type)
{
    const int fd = Socket(type);
    const uint16_t port = PortOf(fd);
    close(fd);
    return port;
}

int Connect(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        ADD_FAILURE() << "cannot connect to the relay";
    return fd;
}

void SendDatagram(int sender, uint16_t port, const std::string& datagram)
{
    const sockaddr_in to = Loopback(port);
    sendto(sender, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// zelsend relaying to `console`; its standard error is kept for the report at the end.
class Relay {
public:
    // `tcp` 0: UDP only. `more`: further options (filters, --time).
    Relay(uint16_t consolePort, uint16_t udp, uint16_t tcp, const std::vector<std::string>& more = {})
        : zelsend_(Args(consolePort, udp, tcp, more), testkit::ZelsendProcess::Read::Errors)
    {
        zelsend_.ReadUntil(tcp != 0 ? "syslog on TCP" : "zelsend: ", kTimeLimit); // it listens now, or has failed
    }

    // Stops it as Ctrl+C does: success when it ends with exit code 0 and a report that holds each
    // of `parts`; else a failure that shows all it said.
    testing::AssertionResult StopsReporting(std::initializer_list<std::string> parts)
    {
        zelsend_.Signal(SIGINT);
        const int exitCode = Wait();
        if (exitCode != 0)
            return testing::AssertionFailure() << "exit code " << exitCode << "; it said: " << Errors();
        for (const std::string& part : parts) {
            testing::AssertionResult said = Said(part);
            if (!said)
                return said;
        }
        return testing::AssertionSuccess();
    }
    // Holds it still (SIGSTOP), as a relay that gets no time, and lets it go on (SIGCONT).
    void Pause() { zelsend_.Signal(SIGSTOP); }
    void Resume() { zelsend_.Signal(SIGCONT); }
    // Waits for it to end by itself.
    int Wait()
    {
        zelsend_.ReadUntil("syslog relay stopped", kTimeLimit);
        return zelsend_.Wait(kTimeLimit);
    }
    // Success when its standard error holds `text` (by the end, its report); else a failure that
    // shows all it said.
    testing::AssertionResult Said(const std::string& text) const
    {
        if (Errors().find(text) != std::string::npos)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "no \"" << text << "\" in what it said: " << Errors();
    }
    const std::string& Errors() const { return zelsend_.Printed(); }

private:
    static std::vector<std::string> Args(uint16_t consolePort, uint16_t udp, uint16_t tcp,
                                         const std::vector<std::string>& more)
    {
        std::vector<std::string> args = {"--port", std::to_string(consolePort), "--syslog-udp", std::to_string(udp)};
        if (tcp != 0)
            args.insert(args.end(), {"--syslog-tcp", std::to_string(tcp)});
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    testkit::ZelsendProcess zelsend_;
};

// The number written just before `words` in `text`, or -1 when `words` is not there.
long long NumberBefore(const std::string& text, const std::string& words)
{
    size_t end = text.find(words);
    if (end == std::string::npos)
        return -1;
    size_t start = end;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
        --start;
    return start == end ? -1 : std::stoll(text.substr(start, end - start));
}

// Bytes waiting in the receive queue of the UDP socket bound to `port` (/proc/net/udp), or -1.
long long WaitingBytes(uint16_t port)
{
    std::ifstream table("/proc/net/udp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues; // queues: "tx_queue:rx_queue", in hex
        if (std::stoul(local.substr(local.find(':') + 1), nullptr, 16) == port)
            return std::stoll(queues.substr(queues.find(':') + 1), nullptr, 16);
    }
    return -1;
}

// The frames once there are `count` of them, or all there are when the limit has passed first.
std::vector<std::string> WaitFor(const FrameReceiver& console, size_t count)
{
    console.WaitForFrames(count, kTimeLimit);
    return console.Frames();
}

// Each case's relay sends to a receiver that stands in for the console.
class SyslogRelayCli : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(console.Start()); }
    FrameReceiver console;
};

// What a sender wrote and how the console must show it.
std::string Message(int sender, int i)
{
    return "<14>sender " + std::to_string(sender) + " message " + std::to_string(i) + " \xE6\x97\xA5";
}

// 32 senders at once, half octet-counted and half one per line, their writes 7 bytes at a time
// taking turns, so that every read of the relay ends inside a message.
TEST_F(SyslogRelayCli, ManyTcpSendersAtOnceEachMessageWholeAndInOrder)
{
    constexpr int kSenders = 32, kMessages = 40;
    const uint16_t tcp = FreePort(SOCK_STREAM);
    Relay relay(console.Port(), FreePort(SOCK_DGRAM), tcp);
    std::vector<int> senders;
    std::vector<std::string> streams;
    size_t longest = 0;
    for (int s = 0; s < kSenders; ++s) {
        senders.push_back(Connect(tcp));
        std::string stream;
        for (int i = 0; i < kMessages; ++i) {
            const std::string m = Message(s, i);
            stream += s % 2 ? m + "\n" : std::to_string(m.size()) + " " + m;
        }
        longest = std::max(longest, stream.size());
        streams.push_back(stream);
    }
    for (size_t at = 0; at < longest; at += 7) {
        for (int s = 0; s < kSenders; ++s) {
            const size_t size = at < streams[s].size() ? std::min<size_t>(7, streams[s].size() - at) : 0;
            if (size > 0 && send(senders[s], streams[s].data() + at, size, 0) != static_cast<ssize_t>(size))
                ADD_FAILURE() << "cannot send to the relay";
        }
    }
    for (int fd : senders)
        close(fd);

    const std::vector<std::string> texts = WaitFor(console, kSenders * kMessages);
    ASSERT_EQ(texts.size(), static_cast<size_t>(kSenders * kMessages));
    std::map<int, int> next; // per sender, the message expected next
    for (const std::string& text : texts) {
        const int sender = std::stoi(text.substr(std::string("<14>sender ").size()));
        EXPECT_EQ(text, Message(sender, next[sender]++) + "\r\n");
    }
    const std::string all = std::to_string(kSenders * kMessages);
    EXPECT_TRUE(relay.StopsReporting({all + " messages received; " + all + " reached the console and 0 did not"}));
}

// Python's SysLogHandler: a datagram each, ended by a NUL. Sent in rounds, each once the last
// has shown, so that no system's receive buffer is outrun whatever it allows.
TEST_F(SyslogRelayCli, DatagramsShowOneLineEachAndTheReportCountsThem)
{
    constexpr int kRounds = 10, kPerRound = 50;
    const uint16_t udp = FreePort(SOCK_DGRAM);
    Relay relay(console.Port(), udp, 0);
    const int sender = Socket(SOCK_DGRAM);
    for (int round = 0; round < kRounds; ++round) {
        for (int i = 0; i < kPerRound; ++i)
            SendDatagram(sender, udp, Message(round, i) + std::string(1, '\0'));
        WaitFor(console, (round + 1) * kPerRound);
    }
    close(sender);
    const std::vector<std::string> texts = console.Frames();
    ASSERT_EQ(texts.size(), static_cast<size_t>(kRounds * kPerRound));
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(texts[i], Message(static_cast<int>(i / kPerRound), static_cast<int>(i % kPerRound)) + "\r\n");
    EXPECT_TRUE(relay.StopsReporting(
        {"500 messages received; 500 reached the console and 0 did not",
         "0 cut at 65536 bytes, 0 datagrams lost before they were read, 0 dropped after reading"}));
}

// Past 256 connections at once the next is closed and the console says so; those open go on,
// and a message the sender's close cut short still shows as far as it came.
TEST_F(SyslogRelayCli, ConnectionPastTheLimitIsRefusedAndSaidSo)
{
    constexpr int kLimit = 256;
    const uint16_t tcp = FreePort(SOCK_STREAM);
    Relay relay(console.Port(), FreePort(SOCK_DGRAM), tcp);
    std::vector<int> open;
    for (int i = 0; i <= kLimit; ++i)
        open.push_back(Connect(tcp));
    const std::string refused =
        "[zelsend: a syslog connection was refused: the relay holds 256, as many as it can]\r\n";
    EXPECT_EQ(WaitFor(console, 1), std::vector<std::string>{refused});

    const std::string first = "<1>first\n", cut = "9 <2>abc";
    ASSERT_EQ(send(open[0], first.data(), first.size(), 0), static_cast<ssize_t>(first.size()));
    ASSERT_EQ(send(open[kLimit - 1], cut.data(), cut.size(), 0), static_cast<ssize_t>(cut.size()));
    close(open[kLimit - 1]); // the relay shows what came of the message once the sender has gone
    EXPECT_EQ(WaitFor(console, 3),
              (std::vector<std::string>{refused, "<1>first\r\n", "<2>abc [cut: 9 bytes in all]\r\n"}));
    for (int i = 0; i < kLimit; ++i) {
        if (i != kLimit - 1)
            close(open[i]);
    }
    close(open[kLimit]);
    EXPECT_TRUE(relay.StopsReporting({"1 cut at 65536 bytes", "1 connections refused"}));
}

// --include/--exclude take each message whole, line breaks and all; --time puts one stamp in
// front of it; the report tells what was left out and what reached the console.
TEST_F(SyslogRelayCli, FilteredMessagesAreLeftOutAndCounted)
{
    const uint16_t udp = FreePort(SOCK_DGRAM), tcp = FreePort(SOCK_STREAM);
    Relay relay(console.Port(), udp, tcp, {"--include", "error|warn", "--exclude", "^<\\d+>noise", "--time"});
    const int sender = Socket(SOCK_DGRAM);
    for (const char* datagram : {"<11>disk ERROR", "<14>all fine", "<12>noise warn", "<12>x noise warn\nline 2"})
        SendDatagram(sender, udp, datagram);
    const int stream = Connect(tcp);
    const std::string counted = "<12>tcp Warning";
    const std::string bytes = std::to_string(counted.size()) + " " + counted + "<14>tcp ok\n";
    ASSERT_EQ(send(stream, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    close(stream);
    const std::vector<std::string> texts = WaitFor(console, 3);
    ASSERT_EQ(texts.size(), 3u);
    const std::vector<std::string> shown = {"<11>disk ERROR\r\n", "<12>x noise warn\r\nline 2\r\n",
                                            "<12>tcp Warning\r\n"};
    for (size_t i = 0; i < texts.size(); ++i) {
        // "hh:mm:ss.mmm " then the message
        ASSERT_GT(texts[i].size(), 13u);
        EXPECT_TRUE(texts[i][2] == ':' && texts[i][5] == ':' && texts[i][8] == '.' && texts[i][12] == ' ') << texts[i];
        EXPECT_NE(std::find(shown.begin(), shown.end(), texts[i].substr(13)), shown.end()) << texts[i];
    }
    close(sender);
    EXPECT_TRUE(relay.StopsReporting(
        {"6 messages received; 3 reached the console and 3 did not: 3 left out by "
         "--include/--exclude, 0 dropped by the full queue to the console, 0 not delivered at stop"}));
}

// A burst far past the relay's receive buffer (64 MiB for root, about 80,000 small datagrams),
// sent while the relay gets no time: the datagrams the system dropped are counted exactly, in the
// view and in the report, so that shown + lost = sent.
TEST_F(SyslogRelayCli, BurstPastTheReceiveBufferIsCountedToTheDatagram)
{
    constexpr long long kBurst = 150000;
    const uint16_t udp = FreePort(SOCK_DGRAM);
    Relay relay(console.Port(), udp, 0);
    relay.Pause();
    const int sender = Socket(SOCK_DGRAM);
    for (long long i = 0; i < kBurst; ++i)
        SendDatagram(sender, udp, "<14>b" + std::to_string(i));
    relay.Resume();
    const auto until = Clock::now() + kTimeLimit;
    while (WaitingBytes(udp) != 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SendDatagram(sender, udp, "<14>last"); // the buffer has room again: this one is read
    close(sender);
    std::vector<std::string> texts;
    while (Clock::now() < until && (texts.empty() || texts.back() != "<14>last\r\n")) {
        console.WaitForFrames(texts.size() + 1, std::chrono::milliseconds(200));
        texts = console.Frames();
    }
    ASSERT_TRUE(relay.StopsReporting({"syslog relay stopped"}));

    const std::string& report = relay.Errors();
    const long long received = NumberBefore(report, " messages received");
    const long long lost = NumberBefore(report, " datagrams lost before they were read");
    EXPECT_GT(lost, 0) << "the burst fit the buffer, so nothing here was tried: " << report;
    EXPECT_EQ(received + lost, kBurst + 1) << report;
    EXPECT_TRUE(relay.Said(std::to_string(received) + " reached the console"));
    long long shown = 0, notices = 0;
    for (const std::string& text : texts) {
        if (text.rfind("<14>", 0) == 0)
            ++shown;
        else if (text.find(" syslog datagrams lost") != std::string::npos)
            notices += NumberBefore(text, " syslog datagrams lost");
    }
    EXPECT_EQ(shown, received);
    EXPECT_EQ(notices, lost) << "the view must say what it lacks";
}

TEST_F(SyslogRelayCli, PortInUseEndsItWithAReason)
{
    const int holder = Socket(SOCK_DGRAM);
    const uint16_t udp = PortOf(holder);
    Relay relay(console.Port(), udp, 0);
    EXPECT_EQ(relay.Wait(), 1);
    EXPECT_TRUE(relay.Said("cannot listen for syslog on UDP 127.0.0.1:" + std::to_string(udp)));
    close(holder);
}
#endif
} // namespace
