// Long texts in a real console window: a run without line breaks goes into the view over
// several appends, and a line longer than the view can spare is cut rather than emptying it.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "console_fixture.h"
#include "testkit/wait.h"

namespace {

class LongText : public ConsoleFixture {
protected:
    LongText() : ConsoleFixture(kCapacity) {}

    // Letters that never repeat within a few thousand, so that a cut shows where it fell.
    static CString Letters(size_t count, size_t from = 0)
    {
        CString text;
        for (size_t i = from; i < from + count; ++i)
            text += static_cast<wchar_t>(L'一' + i % 5000);
        return text;
    }

    static constexpr size_t kCapacity = 40000;
};

TEST_F(LongText, AnUnbrokenRunGoesInAsSeveralAppends)
{
    const CString run = Letters(30000);
    Pipe().Offer(run);
    // One message at a time, so that each append the view takes shows as a step of its own.
    std::vector<size_t> steps;
    size_t last = 0;
    WaitUntil([&] { return last >= run.size(); }, 60000,
              [&] {
                  MSG msg;
                  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                      return;
                  }
                  ::TranslateMessage(&msg);
                  ::DispatchMessageW(&msg);
                  const size_t now = ViewLength();
                  if (now != last)
                      steps.push_back(now - last);
                  last = now;
              });
    ASSERT_EQ(ViewText(), run);
    EXPECT_GE(steps.size(), run.size() / CPendingLog::kMaxRun) << "the run went in too few appends";
    EXPECT_LE(*std::max_element(steps.begin(), steps.end()), CPendingLog::kMaxRun);
}

TEST_F(LongText, AnOverlongLineIsCutKeepingTheNewestThreeQuarters)
{
    CString all;
    size_t shortestAfterTrim = kCapacity;
    for (size_t i = 0; i < 3 * kCapacity / 1000; ++i) {
        const CString piece = Letters(1000, i * 1000);
        const size_t before = ViewLength();
        all += piece;
        m_dlg.AppendLog(piece);
        ASSERT_LE(ViewLength(), kCapacity);
        if (ViewLength() < before)
            shortestAfterTrim = std::min(shortestAfterTrim, ViewLength());
    }
    ASSERT_LT(shortestAfterTrim, kCapacity) << "the view was never trimmed";
    EXPECT_GE(shortestAfterTrim, kCapacity / 4 * 3 - 1000) << "a trim took more than a quarter";
    const CString view = ViewText();
    EXPECT_EQ(all.compare(all.size() - view.size(), view.size(), view), 0) << "the view is not the newest text";
}

} // namespace
