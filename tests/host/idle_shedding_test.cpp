// Clients that stop part-way through small frames must not shut everyone else out: when a
// reader must wait for room, the connections whose unfinished small frame has gone longest
// without bytes are dropped; active, paused and large ones are kept.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_reader.h"
#include "log/log_pipe.h"

namespace {

constexpr size_t kAnnounced = 64000;  // a small frame's length, as the hostile clients announce it
constexpr size_t kSent = 60 * 1024;   // how much of it they send before they stop
constexpr size_t kGoodFrame = 13 + 4; // a good client's frame, length included

class IdleShedding : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pipe.SetClock([this] { return m_nowMs; });
        m_pipe.Connect(nullptr, [this](double afterMs) { m_rechecks.push_back(afterMs); });
    }
    // Clients that each send most of a small frame and stop, a millisecond apart, until one
    // more would not fit: the budget is then full of idle frames.
    void FillWithIdleFrames()
    {
        while (m_pipe.HeldBytes() + CLogPipe::kSmallFrameBytes <= CLogPipe::kBudgetBytes) {
            m_idle.push_back(std::make_unique<FakeReader>(m_pipe));
            ASSERT_EQ(m_idle.back()->ReadOnce(kAnnounced, kSent), kSent);
            m_nowMs += 1;
        }
    }
    // The idle clients dropped so far, by their order of arrival.
    std::vector<size_t> DroppedIdle() const
    {
        std::vector<size_t> dropped;
        for (size_t i = 0; i < m_idle.size(); ++i)
            if (m_idle[i]->dropped)
                dropped.push_back(i);
        return dropped;
    }

    CLogPipe m_pipe;
    double m_nowMs = 1000;
    std::vector<double> m_rechecks;
    std::vector<std::unique_ptr<FakeReader>> m_idle;
};

// The case: 1,400 clients each send 60 KiB of a 64,000-byte frame and stop. Those that
// come once the budget is full wait; a good client that comes after them gets room at once,
// taken from the stalest frames, and the budget holds.
TEST_F(IdleShedding, StalestIdleFramesMakeRoomForAGoodClient)
{
    FillWithIdleFrames();
    const size_t kept = m_idle.size();
    std::vector<std::unique_ptr<FakeReader>> late;
    for (size_t i = kept; i < 1400; ++i) {
        late.push_back(std::make_unique<FakeReader>(m_pipe));
        EXPECT_EQ(late.back()->ReadOnce(kAnnounced, kSent), 0u) << "frames not idle for long yet must not be shed";
        m_nowMs += 1;
    }
    EXPECT_EQ(m_pipe.ShedCount(), 0u);
    ASSERT_FALSE(m_rechecks.empty()) << "nobody will look again for the waiting readers";
    EXPECT_GT(m_rechecks.back(), 0);
    EXPECT_LE(m_rechecks.back(), CLogPipe::kIdleMs);

    m_nowMs += CLogPipe::kIdleMs;
    FakeReader good(m_pipe);
    EXPECT_EQ(good.ReadOnce(0, kGoodFrame), kGoodFrame) << "the good client was shut out";
    const std::vector<size_t> dropped = DroppedIdle();
    ASSERT_FALSE(dropped.empty());
    EXPECT_LE(dropped.size(), 2u) << "one small frame needs the room of at most two idle ones";
    EXPECT_EQ(dropped.back() + 1, dropped.size()) << "not the stalest frames went";
    EXPECT_LE(m_pipe.HeldBytes(), CLogPipe::kBudgetBytes);

    // The window looks again: the clients that waited get room in their turn, the stalest go.
    m_pipe.ShedIdle();
    int resumed = 0;
    for (auto& reader : late)
        resumed += reader->resumed;
    EXPECT_GT(resumed, 0) << "the waiting readers were not woken";
    EXPECT_LE(m_pipe.HeldBytes(), CLogPipe::kBudgetBytes);
    for (auto& reader : late)
        EXPECT_EQ(reader->dropped, 0) << "a reader the console paused was shed";
}

// What must be kept when a reader waits for room, each case against the idle frames that fill
// the budget. The subject comes first, so it is the stalest unless something protects it.
struct KeptCase {
    const char* name;
    // Puts the subject in its state; the budget is full of idle frames by then.
    std::function<void(FakeReader& subject, CLogPipe& pipe)> act;
    bool shed;
};

class IdleSheddingKeeps : public IdleShedding, public ::testing::WithParamInterface<KeptCase> {};

TEST_P(IdleSheddingKeeps, OnlyIdleUnfinishedSmallFramesAreShed)
{
    FakeReader subject(m_pipe);
    const bool large = std::string(GetParam().name) == "LargeFrameUnderWay";
    ASSERT_GT(subject.ReadOnce(large ? kLargeFrame : kAnnounced, 30 * 1024), 0u);
    m_nowMs += 1;
    FillWithIdleFrames();
    m_nowMs += 2 * CLogPipe::kIdleMs;
    GetParam().act(subject, m_pipe);
    FillWithIdleFrames(); // again, when the subject gave room back

    FakeReader good(m_pipe);
    EXPECT_EQ(good.ReadOnce(0, kGoodFrame), kGoodFrame) << "the waiting reader got no room";
    EXPECT_EQ(subject.dropped, GetParam().shed ? 1 : 0);
    EXPECT_LE(m_pipe.HeldBytes(), CLogPipe::kBudgetBytes);
    if (!GetParam().shed) {
        ASSERT_FALSE(DroppedIdle().empty());
        EXPECT_EQ(DroppedIdle().front(), 0u) << "the stalest idle frame should have gone instead";
    }
}

INSTANTIATE_TEST_SUITE_P(
    IdleShedding, IdleSheddingKeeps,
    ::testing::Values(KeptCase{"IdlePartialFrame", [](FakeReader&, CLogPipe&) {}, true},
                      // Its next bytes just came: a client still sending.
                      KeptCase{"StillSending",
                               [](FakeReader& subject, CLogPipe&) { subject.ReadOnce(kAnnounced, 1000); }, false},
                      // It had more to read while the waiting text was at its high-water mark, and
                      // then found no room: the console paused it.
                      KeptCase{"PausedByTheConsole",
                               [](FakeReader& subject, CLogPipe& pipe) {
                                   pipe.Offer(CString(CPendingLog::kHighWater, L'w'));
                                   subject.reader.MayRead(kAnnounced, 1000);
                                   while (!pipe.Empty())
                                       pipe.TakeSlice(SIZE_MAX);
                               },
                               false},
                      KeptCase{"LargeFrameUnderWay", [](FakeReader&, CLogPipe&) {}, false},
                      KeptCase{"BetweenFrames", [](FakeReader& subject, CLogPipe&) { subject.FinishFrame(); }, false}),
    [](const ::testing::TestParamInfo<KeptCase>& info) { return std::string(info.param.name); });

// A reader paused long by the console and then let read again has not been idle: the idle
// frames around it go first.
TEST_F(IdleShedding, AReaderLetReadAgainIsNotIdle)
{
    FakeReader subject(m_pipe);
    ASSERT_GT(subject.ReadOnce(kAnnounced, 30 * 1024), 0u);
    FillWithIdleFrames();
    ASSERT_EQ(subject.ReadOnce(kAnnounced, 1000), 0u);
    ASSERT_TRUE(subject.reader.Paused());
    m_nowMs += 2 * CLogPipe::kIdleMs;
    m_pipe.ShedIdle();
    ASSERT_EQ(subject.resumed, 1) << "room was made for the paused reader";
    EXPECT_EQ(subject.dropped, 0);

    FakeReader good(m_pipe);
    EXPECT_EQ(good.ReadOnce(0, kGoodFrame), kGoodFrame);
    EXPECT_EQ(subject.dropped, 0) << "the time it waited for the console counted as its own idleness";
}

// Clients trickling a byte now and then are never idle for long, but they cannot keep a reader
// out for more than the idle time either: then the stalest of them goes.
TEST_F(IdleShedding, TricklingClientsKeepAReaderOutNoLongerThanTheIdleTime)
{
    FillWithIdleFrames();
    FakeReader good(m_pipe);
    ASSERT_EQ(good.ReadOnce(0, kGoodFrame), 0u);
    const double waitStart = m_nowMs;
    bool shown = false;
    while (!shown && m_nowMs - waitStart < 3 * CLogPipe::kIdleMs) {
        m_nowMs += 100;
        for (auto& reader : m_idle)
            if (!reader->dropped)
                reader->reader.Holding(reader->held, kAnnounced); // a byte came, into room it had
        m_pipe.ShedIdle();
        shown = good.resumed > 0 && good.ReadOnce(0, kGoodFrame) == kGoodFrame;
    }
    EXPECT_TRUE(shown) << "trickling clients kept the reader out";
    EXPECT_GE(m_nowMs - waitStart, CLogPipe::kIdleMs) << "active clients were shed before the reader waited long";
    EXPECT_LE(m_nowMs - waitStart, CLogPipe::kIdleMs + 100);
    ASSERT_FALSE(DroppedIdle().empty());
    EXPECT_EQ(DroppedIdle().front(), 0u) << "the stalest goes first";
}

// While the console itself holds every reader (the waiting text is at its high-water mark, as
// during a save), nobody is idle and nobody is shed.
TEST_F(IdleShedding, NobodyIsShedWhileTheConsoleHoldsEveryReader)
{
    FillWithIdleFrames();
    m_pipe.Offer(CString(CPendingLog::kHighWater, L'w'));
    m_nowMs += 10 * CLogPipe::kIdleMs;
    FakeReader good(m_pipe);
    EXPECT_EQ(good.ReadOnce(0, kGoodFrame), 0u);
    m_pipe.ShedIdle();
    EXPECT_EQ(m_pipe.ShedCount(), 0u);
    while (!m_pipe.Empty())
        m_pipe.TakeSlice(SIZE_MAX); // the view takes the text: reads go on
    m_pipe.ShedIdle();
    EXPECT_EQ(good.resumed, 1);
    EXPECT_EQ(good.ReadOnce(0, kGoodFrame), kGoodFrame);
    EXPECT_GT(m_pipe.ShedCount(), 0u) << "once reads go on, the idle frames make room";
}

} // namespace
