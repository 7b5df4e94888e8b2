// zel::LogClient against a receiver that splits frames as the console does: the bytes on the
// wire, a receiver that goes away and comes back, a full queue, and many threads at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "frame_receiver.h"
#include "zel_log_client.h"

using namespace std::chrono_literals;

namespace {

zel::LogClientOptions FastRetry(size_t queueBytes = 8 << 20)
{
    zel::LogClientOptions options;
    options.queueBytes = queueBytes;
    options.retryStart = 10ms;
    options.retryMax = 50ms;
    return options;
}

bool ValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

std::string Numbered(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "line %06d\r\n", n);
    return text;
}

// Reads the number back from a Numbered line; -1 for anything else.
int NumberOf(const std::string& line)
{
    int n = -1;
    return std::sscanf(line.c_str(), "line %d", &n) == 1 ? n : -1;
}

// Line `i` of thread `t`; lengths vary so that frames straddle every write boundary.
std::string ThreadLine(int t, int i)
{
    return "t" + std::to_string(t) + " " + std::to_string(i) + " " + std::string(size_t(i % 300), char('a' + t)) +
           "\r\n";
}

// What a fresh receiver got from a fresh client that sent `texts`, flushed and closed.
struct Received {
    std::vector<std::string> frames;
    uint64_t bytes = 0;
    bool oversize = false;
};

Received SendThrough(const std::vector<std::string>& texts, size_t frames, size_t queueBytes = 8 << 20)
{
    FrameReceiver receiver;
    if (!receiver.Start()) {
        ADD_FAILURE() << "no receiver";
        return {};
    }
    {
        zel::LogClient client("127.0.0.1", receiver.Port(), FastRetry(queueBytes));
        for (const auto& text : texts)
            client.Send(text);
        EXPECT_TRUE(client.Flush(20s));
    }
    EXPECT_TRUE(receiver.WaitForFrames(frames));
    return {receiver.Frames(), receiver.Bytes(), receiver.Oversize()};
}

struct WireCase {
    const char* name;
    std::string text;
};

class LogClientWire : public ::testing::TestWithParam<WireCase> {};

TEST_P(LogClientWire, TextArrivesAsOneFrameByteForByte)
{
    const Received got = SendThrough({GetParam().text, "end\r\n"}, 2);
    ASSERT_EQ(got.frames.size(), 2u);
    EXPECT_EQ(got.frames[0], GetParam().text);
    EXPECT_EQ(got.bytes, 4 + GetParam().text.size() + 4 + 5);
}

INSTANTIATE_TEST_SUITE_P(Texts, LogClientWire,
                         ::testing::Values(WireCase{"Ascii", "build started\r\n"},
                                           WireCase{"Chinese", u8"订单服务已启动\r\n"},
                                           WireCase{"Emoji", u8"deploy \U0001F680 done\r\n"},
                                           WireCase{"TwoLines", "first\r\nsecond\r\n"},
                                           WireCase{"NoLineEnd", "no line end"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogClientWireEdge, EmptyTextIsAFrameOfLengthZeroThatShowsNothing)
{
    const Received got = SendThrough({"a", "", "b"}, 2);
    EXPECT_EQ(got.frames, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(got.bytes, 5u + 4u + 5u);
}

// Over-long texts made of one repeated character, so that the limit falls at every offset
// inside a multi-byte sequence.
class LogClientLongText : public ::testing::TestWithParam<std::pair<std::string, size_t>> {};

TEST_P(LogClientLongText, IsCutAtACharacterBoundaryWithAMarker)
{
    const auto& [character, extra] = GetParam();
    std::string text(extra, 'x');
    while (text.size() <= zel::detail::kMaxPayload)
        text += character;
    const Received got = SendThrough({text, "after\r\n"}, 2, 64 << 20);
    EXPECT_FALSE(got.oversize);
    const auto& frames = got.frames;
    ASSERT_EQ(frames.size(), 2u);
    const std::string marker = " [cut: " + std::to_string(text.size()) + " bytes in all]\r\n";
    ASSERT_GE(frames[0].size(), marker.size());
    EXPECT_LE(frames[0].size(), zel::detail::kMaxPayload);
    EXPECT_GT(frames[0].size(), zel::detail::kMaxPayload - marker.size() - 4);
    EXPECT_EQ(frames[0].substr(frames[0].size() - marker.size()), marker);
    const std::string kept = frames[0].substr(0, frames[0].size() - marker.size());
    EXPECT_TRUE(ValidUtf8(kept));
    EXPECT_EQ(kept, text.substr(0, kept.size()));
    EXPECT_EQ(frames[1], "after\r\n");
}

INSTANTIATE_TEST_SUITE_P(Characters, LogClientLongText,
                         ::testing::Values(std::make_pair(std::string("a"), size_t(0)),
                                           std::make_pair(std::string(u8"中"), size_t(0)),
                                           std::make_pair(std::string(u8"中"), size_t(1)),
                                           std::make_pair(std::string(u8"中"), size_t(2)),
                                           std::make_pair(std::string(u8"\U0001F600"), size_t(1)),
                                           std::make_pair(std::string(u8"\U0001F600"), size_t(3))));

TEST(LogClientReconnect, LinesLoggedWhileTheReceiverIsDownArriveWhenItIsBack)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    const uint16_t port = receiver.Port();
    zel::LogClient client("127.0.0.1", port, FastRetry());
    for (int i = 0; i < 100; ++i)
        client.Send(Numbered(i));
    ASSERT_TRUE(receiver.WaitForFrames(100));
    const auto before = receiver.Frames();

    receiver.Stop();
    for (int i = 100; i < 200; ++i)
        client.Send(Numbered(i));
    std::this_thread::sleep_for(200ms); // the client meets the closed port a few times
    FrameReceiver again;
    ASSERT_TRUE(again.Start(port));
    for (int i = 200; i < 300; ++i)
        client.Send(Numbered(i));
    ASSERT_TRUE(client.Flush(10s));
    ASSERT_TRUE(again.WaitForFrames(200));

    auto frames = before;
    for (const auto& f : again.Frames())
        frames.push_back(f);
    ASSERT_EQ(frames.size(), 300u);
    for (int i = 0; i < 300; ++i)
        EXPECT_EQ(frames[size_t(i)], Numbered(i));
    EXPECT_EQ(client.DroppedLines(), 0u);
}

TEST(LogClientReconnect, StartsBeforeTheReceiverAndDeliversOnceItListens)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    zel::LogClient client("127.0.0.1", port, FastRetry());
    client.Send("early\r\n");
    EXPECT_FALSE(client.Flush(100ms));
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start(port));
    ASSERT_TRUE(client.Flush(10s));
    ASSERT_TRUE(receiver.WaitForFrames(1));
    EXPECT_EQ(receiver.Frames(), std::vector<std::string>{"early\r\n"});
}

TEST(LogClientFullQueue, DropsTheOldestLinesAndSendsTheirCount)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    constexpr int kLines = 1000;
    zel::LogClient client("127.0.0.1", port, FastRetry(2048));
    for (int i = 0; i < kLines; ++i)
        client.Send(Numbered(i));
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start(port));
    ASSERT_TRUE(client.Flush(10s));
    // Once flushed, every line not dropped is on its way.
    receiver.WaitForLines(size_t(kLines) - size_t(client.DroppedLines()));

    // Every line either arrives, in order, or is counted by a notice before the lines after it.
    uint64_t counted = 0, delivered = 0;
    int last = -1;
    for (const auto& frame : receiver.Frames()) {
        unsigned long long dropped = 0;
        if (std::sscanf(frame.c_str(), "[zel::LogClient: %llu lines dropped", &dropped) == 1) {
            counted += dropped;
            continue;
        }
        const int n = NumberOf(frame);
        ASSERT_GT(n, last) << frame;
        last = n;
        ++delivered;
    }
    EXPECT_GT(counted, 0u);
    EXPECT_EQ(counted, client.DroppedLines());
    EXPECT_EQ(delivered + counted, uint64_t(kLines));
    EXPECT_EQ(last, kLines - 1); // the newest lines are the ones kept
}

TEST(LogClientThreads, LinesFromManyThreadsArriveWholeAndInEachThreadsOrder)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    constexpr int kThreads = 8, kLines = 3000;
    {
        zel::LogClient client("127.0.0.1", receiver.Port(), FastRetry(64 << 20));
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&client, t] {
                for (int i = 0; i < kLines; ++i)
                    client.Send(ThreadLine(t, i));
            });
        for (auto& thread : threads)
            thread.join();
        ASSERT_TRUE(client.Flush(20s));
    }
    ASSERT_TRUE(receiver.WaitForFrames(size_t(kThreads * kLines)));
    std::map<int, int> next;
    for (const auto& frame : receiver.Frames()) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(frame.c_str(), "t%d %d ", &t, &i), 2) << frame;
        ASSERT_EQ(i, next[t]) << "thread " << t;
        ++next[t];
        ASSERT_EQ(frame, ThreadLine(t, i));
    }
    ASSERT_EQ(next.size(), size_t(kThreads));
    for (const auto& [t, count] : next)
        EXPECT_EQ(count, kLines) << "thread " << t;
}

TEST(LogClientClose, DestructorDeliversWhatWasQueued)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    {
        zel::LogClient client("127.0.0.1", receiver.Port(), FastRetry());
        for (int i = 0; i < 500; ++i)
            client.Send(Numbered(i));
    }
    ASSERT_TRUE(receiver.WaitForFrames(500));
    const auto frames = receiver.Frames();
    ASSERT_EQ(frames.size(), 500u);
    EXPECT_EQ(frames.back(), Numbered(499));
}

TEST(LogClientClose, DestructorGivesUpWhenNobodyListens)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    zel::LogClientOptions options = FastRetry();
    options.closeFlush = 200ms;
    const auto start = std::chrono::steady_clock::now();
    {
        zel::LogClient client("127.0.0.1", port, options);
        client.Send("nobody hears this\r\n");
    }
    // Not a timing test: only that the program is not held hostage by a missing console.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

// The lines each report on stderr counts for `port`, in the order written; anything else the
// client wrote there fails the test.
std::vector<uint64_t> LossReports(const std::string& stderrText, uint16_t port)
{
    std::vector<uint64_t> counts;
    const std::string tail = " not delivered to 127.0.0.1:" + std::to_string(port);
    size_t at = 0;
    for (size_t end; (end = stderrText.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = stderrText.substr(at, end - at);
        unsigned long long n = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "zel::LogClient: %llu%n", &n, &used) == 1 &&
            line.substr(size_t(used)) == (n == 1 ? " line" : " lines") + tail)
            counts.push_back(n);
        else
            ADD_FAILURE() << "unexpected on stderr: " << line;
    }
    EXPECT_EQ(at, stderrText.size()) << "a report without its line end";
    return counts;
}

struct LossCase {
    const char* name;
    int lines;
    size_t queueBytes;
};

class LogClientLoss : public ::testing::TestWithParam<LossCase> {};

// A short program whose console is not there: its destructor says how many lines went nowhere,
// whether they were still queued or already dropped from a full queue.
TEST_P(LogClientLoss, ClosingWithTheConsoleAbsentReportsEveryLineOnce)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    zel::LogClientOptions options = FastRetry(GetParam().queueBytes);
    options.closeFlush = 100ms;
    uint64_t dropped = 0;
    ::testing::internal::CaptureStderr();
    {
        zel::LogClient client("127.0.0.1", port, options);
        for (int i = 0; i < GetParam().lines; ++i)
            client.Send(Numbered(i));
        dropped = client.DroppedLines();
    }
    const auto reports = LossReports(::testing::internal::GetCapturedStderr(), port);
    EXPECT_EQ(reports, std::vector<uint64_t>{uint64_t(GetParam().lines)});
    EXPECT_EQ(dropped > 0, GetParam().queueBytes < size_t(GetParam().lines) * 20);
}

INSTANTIATE_TEST_SUITE_P(Queues, LogClientLoss,
                         ::testing::Values(LossCase{"OneLine", 1, 8 << 20}, LossCase{"ThreeLines", 3, 8 << 20},
                                           LossCase{"FullQueue", 1000, 2048}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogClientLossOnce, AFailedFlushReportsWhatIsWaitingAndTheDestructorOnlyWhatCameAfter)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    zel::LogClientOptions options = FastRetry();
    options.closeFlush = 100ms;
    ::testing::internal::CaptureStderr();
    {
        zel::LogClient client("127.0.0.1", port, options);
        for (int i = 0; i < 5; ++i)
            client.Send(Numbered(i));
        EXPECT_FALSE(client.Flush(50ms));
        EXPECT_FALSE(client.Flush(50ms)); // nothing new: nothing more to say
        client.Send(Numbered(5));
        client.Send(Numbered(6));
    }
    EXPECT_EQ(LossReports(::testing::internal::GetCapturedStderr(), port), (std::vector<uint64_t>{5, 2}));
}

// A console that stops reading: the destructor gives up on a batch part sent. What it reports
// and what the system's buffers still carry to the receiver add up to every line.
TEST(LogClientLossOnce, ABatchCutShortCountsOnlyTheLinesNotWhollySent)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    receiver.Pause(true);
    constexpr int kLines = 20000;
    const std::string filler(1000, 'x');
    zel::LogClientOptions options = FastRetry(64 << 20);
    options.closeFlush = 300ms;
    ::testing::internal::CaptureStderr();
    {
        zel::LogClient client("127.0.0.1", receiver.Port(), options);
        for (int i = 0; i < kLines; ++i)
            client.Send(Numbered(i) + filler);
    }
    const auto reports = LossReports(::testing::internal::GetCapturedStderr(), receiver.Port());
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_GT(reports[0], 0u);
    ASSERT_LT(reports[0], uint64_t(kLines));
    receiver.Pause(false);
    const size_t arrived = size_t(kLines) - size_t(reports[0]);
    ASSERT_TRUE(receiver.WaitForFrames(arrived));
    std::this_thread::sleep_for(200ms); // anything beyond would show by now
    const auto frames = receiver.Frames();
    ASSERT_EQ(frames.size(), arrived);
    EXPECT_EQ(frames.back(), Numbered(int(arrived) - 1) + filler);
}

TEST(LogClientLossOnce, LinesThatArrivedAreNotReported)
{
    FrameReceiver receiver;
    ASSERT_TRUE(receiver.Start());
    ::testing::internal::CaptureStderr();
    {
        zel::LogClient client("127.0.0.1", receiver.Port(), FastRetry());
        for (int i = 0; i < 200; ++i)
            client.Send(Numbered(i));
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(receiver.WaitForFrames(200));
    EXPECT_EQ(said, "");
}

// Lines dropped while the queue was full are counted to the console and, being lost all the
// same, on stderr at the end.
TEST(LogClientLossOnce, DroppedLinesAreReportedAlthoughTheRestArrived)
{
    const uint16_t port = FrameReceiver::FreePort();
    ASSERT_NE(port, 0);
    FrameReceiver receiver;
    uint64_t dropped = 0;
    ::testing::internal::CaptureStderr();
    {
        zel::LogClient client("127.0.0.1", port, FastRetry(2048));
        for (int i = 0; i < 1000; ++i)
            client.Send(Numbered(i));
        ASSERT_TRUE(receiver.Start(port));
        EXPECT_TRUE(client.Flush(10s));
        dropped = client.DroppedLines();
    }
    const auto reports = LossReports(::testing::internal::GetCapturedStderr(), port);
    ASSERT_GT(dropped, 0u);
    EXPECT_EQ(reports, std::vector<uint64_t>{dropped});
    EXPECT_TRUE(receiver.WaitForLines(size_t(1000 - dropped)));
}

} // namespace
