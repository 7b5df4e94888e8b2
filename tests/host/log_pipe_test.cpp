#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "fake_reader.h"
#include "log/log_pipe.h"

namespace {

using Readers = std::vector<std::unique_ptr<FakeReader>>;

class LogPipe : public ::testing::Test {
protected:
    Readers MakeReaders(int count)
    {
        Readers readers;
        for (int i = 0; i < count; ++i)
            readers.push_back(std::make_unique<FakeReader>(m_pipe));
        return readers;
    }
    // Rounds in which every reader reads once in a large frame.
    static void ReadLarge(Readers& readers, int rounds)
    {
        for (int round = 0; round < rounds; ++round)
            for (auto& reader : readers)
                reader->ReadOnce(kLargeFrame);
    }
    void SetUp() override
    {
        m_pipe.SetClock([this] { return m_nowMs; });
        m_pipe.Connect([this] { ++m_wakes; });
    }
    // Offers lines of 100 characters until the waiting text holds `chars`.
    void OfferLines(size_t chars)
    {
        const CString line = CString(98, L'l') + L"\r\n";
        for (size_t n = 0; n < chars; n += line.size())
            m_pipe.Offer(line);
    }

    CLogPipe m_pipe;
    double m_nowMs = 1000;
    int m_wakes = 0;
};

TEST_F(LogPipe, EmptyTextIsDroppedAndWakesNobody)
{
    for (int i = 0; i < 1000; ++i)
        m_pipe.Offer(L"");
    EXPECT_TRUE(m_pipe.Empty());
    EXPECT_EQ(m_wakes, 0);
    m_pipe.Offer(L"a");
    m_pipe.Offer(L"b");
    EXPECT_EQ(m_wakes, 1) << "only the first text into an empty pipe wakes the window";
    EXPECT_EQ(m_pipe.TakeSlice(SIZE_MAX), L"ab");
    m_pipe.Offer(L"c");
    EXPECT_EQ(m_wakes, 2);
}

TEST_F(LogPipe, ReadersPauseAtTheHighMarkAndResumeBelowHalf)
{
    FakeReader reader(m_pipe);
    EXPECT_EQ(reader.ReadOnce(0), kChunk);
    OfferLines(CPendingLog::kHighWater);
    EXPECT_EQ(m_pipe.State(), CLogPipe::Flow::Held);
    EXPECT_EQ(reader.ReadOnce(0), 0u);
    EXPECT_TRUE(reader.reader.Paused());
    EXPECT_EQ(reader.ReadOnce(0), 0u) << "a paused reader stays paused until woken";

    while (m_pipe.WaitingChars() >= CPendingLog::kHighWater / 2) {
        EXPECT_EQ(reader.resumed, 0) << "woken above half: it would pause again at once";
        m_pipe.TakeSlice(SIZE_MAX);
    }
    EXPECT_EQ(m_pipe.State(), CLogPipe::Flow::Open);
    EXPECT_EQ(reader.resumed, 1);
    EXPECT_EQ(reader.ReadOnce(0), kChunk);
}

TEST_F(LogPipe, ClearingWakesTheReadersAtOnce)
{
    FakeReader reader(m_pipe);
    OfferLines(CPendingLog::kHighWater);
    reader.ReadOnce(0);
    m_pipe.Clear();
    EXPECT_EQ(reader.resumed, 1);
    EXPECT_EQ(m_pipe.State(), CLogPipe::Flow::Open);
}

// Clients that each hold most of a large frame and never finish it: large frames together stay
// within their share, and the room left serves everyone else.
TEST_F(LogPipe, LargeFramesTogetherStayWithinTheirShareAndSmallFramesGoOn)
{
    Readers hostile = MakeReaders(150);
    FakeReader good(m_pipe);
    for (int round = 0; round < 200; ++round) {
        for (auto& reader : hostile) {
            if (reader->held < kLargeFrame - kChunk)
                reader->ReadOnce(kLargeFrame);
        }
        ASSERT_LE(m_pipe.LargeBytes(), CLogPipe::kLargeBytes);
        ASSERT_LE(m_pipe.HeldBytes(), CLogPipe::kBudgetBytes);
        ASSERT_GT(good.ReadOnce(0), 0u) << "a client of small frames was shut out in round " << round;
        good.FinishFrame();
    }
    EXPECT_GE(m_pipe.LargeBytes(), CLogPipe::kLargeBytes - kChunk) << "the share should be used";
    EXPECT_GE(m_pipe.PausedCount(), 140u);
    EXPECT_EQ(m_pipe.ShedCount(), 0u) << "large frames have their own share and are never shed";
}

TEST_F(LogPipe, APausedLargeFrameResumesWhenAnotherFinishes)
{
    Readers readers = MakeReaders(4);
    // Three frames fill the share; the fourth waits.
    ReadLarge(readers, 100);
    ASSERT_TRUE(readers[3]->reader.Paused() || readers[2]->reader.Paused());
    FakeReader& waiting = readers[3]->reader.Paused() ? *readers[3] : *readers[2];
    readers[0]->FinishFrame();
    EXPECT_EQ(waiting.resumed, 1) << "the room a finished frame leaves must wake a waiting one";
    EXPECT_GT(waiting.ReadOnce(kLargeFrame), 0u);
}

// Large frames let in read to their end: they never wait for each other, however full the
// share, so three clients sending 16 MiB frames at once all finish.
TEST_F(LogPipe, LargeFramesUnderWayAllFinish)
{
    Readers readers = MakeReaders(3);
    for (int round = 0; round < 64; ++round) {
        for (auto& reader : readers)
            ASSERT_EQ(reader->ReadOnce(kLargeFrame), kChunk) << "a frame under way was paused in round " << round;
    }
    for (auto& reader : readers)
        reader->FinishFrame();
    EXPECT_EQ(m_pipe.LargeBytes(), 0u);
    EXPECT_EQ(m_pipe.HeldBytes(), 0u);
}

TEST_F(LogPipe, BetweenFramesAReaderTakesOnlyASmallFrameWhileTheLargeShareIsFull)
{
    Readers readers = MakeReaders(3);
    for (auto& reader : readers) {
        while (reader->held < kLargeFrame)
            reader->ReadOnce(kLargeFrame);
    }
    ASSERT_GE(m_pipe.LargeBytes(), CLogPipe::kLargeBytes);
    FakeReader next(m_pipe);
    EXPECT_EQ(next.ReadOnce(0), CLogPipe::kSmallFrameBytes);
}

TEST_F(LogPipe, WaitingTextCountsAgainstTheBudget)
{
    FakeReader reader(m_pipe);
    // A finished 16 MiB frame waits as 32 MiB of text: over the high mark, so reads pause.
    m_pipe.Offer(CString(kLargeFrame, L'w'));
    EXPECT_EQ(m_pipe.HeldBytes(), 2 * kLargeFrame);
    EXPECT_EQ(reader.ReadOnce(0), 0u);
}

TEST_F(LogPipe, AReaderThatGoesFreesItsFrameAndIsNeverWoken)
{
    Readers readers = MakeReaders(5);
    ReadLarge(readers, 100);
    const size_t paused = m_pipe.PausedCount();
    ASSERT_GE(paused, 1u);
    readers.back().reset();  // paused, and gone: must leave the list
    readers.front().reset(); // held much: must give it back and wake one
    EXPECT_LT(m_pipe.PausedCount(), paused);
    size_t held = 0;
    for (auto& reader : readers)
        held += reader ? reader->held : 0;
    EXPECT_EQ(m_pipe.HeldBytes(), held);
}

} // namespace
