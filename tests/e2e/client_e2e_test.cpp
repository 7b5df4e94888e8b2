// zel::LogClient, built for Windows, logging into the real console: every line shown whole and
// in order, including those logged before the operator started the log service.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/console_texts.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"
#include "zel_log_client.h"

namespace {

// UTF-8 text's length in the view's UTF-16 units.
int Utf16Length(const std::string& utf8)
{
    return ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
}

// Mixed ASCII and Chinese (all within code page 936), numbered so that a gap or a swap shows.
std::string Line(int n)
{
    char text[96];
    std::snprintf(text, sizeof text, u8"c++ %06d 订单服务 status=ok %s\r\n", n, n % 7 == 0 ? u8"支付完成" : "paid");
    return text;
}

TEST(LogClientE2E, HundredThousandLinesShowWholeAndInOrder)
{
    constexpr int kEarly = 10, kLines = 100000;
    CConsoleProcess console;
    ASSERT_TRUE(console.Start());
    zel::LogClient client("127.0.0.1", ConsolePort());
    // Logged before the service listens: the client keeps them until it can connect.
    for (int i = 0; i < kEarly; ++i)
        client.Send(Line(i));
    console.Click(IDC_SERVICE_BUTTON);
    for (int i = kEarly; i < kLines; ++i)
        client.Send(Line(i));
    ASSERT_TRUE(client.Flush(std::chrono::seconds(120)));

    std::string expected;
    for (int i = 0; i < kLines; ++i)
        expected += Line(i);
    // The view's length alone, so that each poll does not copy megabytes of text.
    const int want = static_cast<int>(std::wcslen(kStarted)) + Utf16Length(expected);
    ASSERT_TRUE(WaitUntil([&] { return console.TextLength(IDC_LOG_VIEW) >= want; }, 180000));
    const std::string view = ToUtf8(console.Text(IDC_LOG_VIEW));
    const std::string started = ToUtf8(kStarted);
    ASSERT_EQ(view.substr(0, started.size()), started);
    const std::string lines = view.substr(started.size());
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_TRUE(lines == expected) << "first difference at byte "
                                   << std::mismatch(lines.begin(), lines.end(), expected.begin()).first - lines.begin();
    EXPECT_EQ(client.DroppedLines(), 0u);
}

} // namespace
