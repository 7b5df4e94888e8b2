#include <gtest/gtest.h>

#include "console_fixture.h"

namespace {

// A real console window whose view holds little, so that it fills quickly.
class FullView : public ConsoleFixture {
protected:
    FullView() : ConsoleFixture(kCapacity) {}

    // A line of 50 characters, CR LF included, numbered and with Chinese in it: it fits a row,
    // and the capacity holds a whole number of them.
    static CString Line(int i)
    {
        CString line = L"第 " + std::to_wstring(i) + L" 行 ";
        line.resize(48, L'=');
        return line + L"\r\n";
    }

    // The view must be the newest part of `all`, beginning where one of its lines begins.
    static void ExpectNewestWholeLines(const CString& view, const CString& all)
    {
        ASSERT_FALSE(view.empty());
        ASSERT_LE(view.size(), all.size());
        EXPECT_EQ(all.compare(all.size() - view.size(), view.size(), view), 0) << "not the newest text";
        const size_t start = all.size() - view.size();
        EXPECT_TRUE(start == 0 || all[start - 1] == L'\n') << "the view begins inside a line";
    }

    // Text for the view, as a status line or as a frame, kept in m_sent.
    void AppendLog(const CString& text)
    {
        m_sent += text;
        m_dlg.AppendLog(text);
    }
    void Offer(const CString& text)
    {
        m_sent += text;
        Pipe().Offer(text);
    }
    // Lines 0 to count - 1, each a text of its own.
    void AppendLines(int count)
    {
        for (int i = 0; i < count; ++i)
            AppendLog(Line(i));
    }
    void OfferLines(int count)
    {
        for (int i = 0; i < count; ++i)
            Offer(Line(i));
    }

    static constexpr size_t kCapacity = 20000;
    CString m_sent;
};

TEST_F(FullView, StatusLinesPastTheCapacityPushOutTheOldestWholeLines)
{
    size_t longest = 0;
    size_t shortestAfterTrim = kCapacity;
    for (int i = 0; i < 500; ++i) {
        const size_t before = ViewLength();
        AppendLog(Line(i));
        const size_t after = ViewLength();
        longest = std::max(longest, after);
        if (after < before)
            shortestAfterTrim = std::min(shortestAfterTrim, after);
    }
    EXPECT_LE(longest, kCapacity);
    EXPECT_EQ(longest, kCapacity) << "the view must fill up to its capacity before a trim";
    // A trim frees a quarter: what stays, the new line included, is three quarters at most, and
    // no more than a line below that.
    EXPECT_LE(shortestAfterTrim, kCapacity / 4 * 3);
    EXPECT_GE(shortestAfterTrim, kCapacity / 4 * 3 - 50);
    ExpectNewestWholeLines(ViewText(), m_sent);
}

TEST_F(FullView, FramesFlushedPastTheCapacityKeepTheNewestAndScrollToTheEnd)
{
    OfferLines(3000);
    ASSERT_TRUE(PumpUntil([] { return Pipe().Empty(); }));
    const CString view = ViewText();
    EXPECT_LE(view.size(), kCapacity);
    EXPECT_GE(view.size(), kCapacity / 2) << "a trim must not empty the view";
    ExpectNewestWholeLines(view, m_sent);
    EXPECT_EQ(static_cast<size_t>(Selection().second), view.size()) << "the caret must stay at the end";
    EXPECT_GT(m_dlg.m_editLog.Send(EM_GETFIRSTVISIBLELINE), 0) << "the view must show its end, not its top";
}

TEST_F(FullView, ATextLargerThanTheViewReplacesItWhole)
{
    AppendLines(100);
    CString huge;
    for (int i = 0; huge.size() < kCapacity * 2; ++i)
        huge += Line(1000 + i);
    m_dlg.AppendLog(huge);
    EXPECT_EQ(ViewText(), huge) << "none of a single text may be lost";
    m_dlg.AppendLog(Line(5000));
    ExpectNewestWholeLines(ViewText(), huge + Line(5000));
    EXPECT_LE(ViewLength(), kCapacity);
}

TEST_F(FullView, ALastLineWithoutItsEndGoesWholeOrStays)
{
    // Texts without line breaks continue one line; a trim must not cut into it.
    AppendLines(100);
    AppendLog(CString(kCapacity / 2, L'x'));
    AppendLog(L"yyyy");
    EXPECT_LE(ViewLength(), kCapacity);
    // As sent: the view ended the rows of the long line itself.
    ExpectNewestWholeLines(m_dlg.View().SentText(), m_sent);
}

} // namespace
