#include <gtest/gtest.h>

#include "fake_console.h"

namespace {

// When the flush paints and gives input a turn is the thread's turns' (thread_turns_test.cpp).
class FlushScheduler : public FakeConsole {};

TEST_F(FlushScheduler, SaveKeepingTheViewStopsAtAFullViewAndOneEndRestartsIt)
{
    m_keepAll = true;
    OfferLines(10000);
    Drain();
    EXPECT_EQ(m_text.size(), m_capacity) << "the view fills to its capacity and drops nothing";
    m_flush.Append(L"status\r\n");
    m_flush.EndKeepingView();
    m_flush.EndKeepingView();
    EXPECT_EQ(m_posts, 1);
    Drain();
    EXPECT_TRUE(m_pipe.Empty());
    EXPECT_EQ(m_text.substr(m_text.size() - 8), L"status\r\n");
}

TEST_F(FlushScheduler, ClearEmptiesTheViewAndWhatWaits)
{
    OfferLines(10000);
    Drain();
    OfferLines(1000);
    const size_t shown = m_text.size();
    m_flush.Append(L"status\r\n");
    EXPECT_EQ(m_text.size(), shown) << "a status line waits behind the text that came before it";
    m_flush.Clear();
    Drain();
    EXPECT_TRUE(m_text.empty() && m_pipe.Empty()) << "the step already posted finds nothing to do";
}

} // namespace
