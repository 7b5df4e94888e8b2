#pragma once
// The tests' checks of a console driven from outside its process (testkit/console_process.h),
// which the benches use without GoogleTest.
#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"
#include "testkit/case_table.h"
#include "testkit/console_process.h"
#include "testkit/wire_text.h"

// The view comes to hold exactly `expected` within the limit; on failure, the start of what it
// holds instead (a view of thousands of lines would bury the rest of the output).
inline testing::AssertionResult ViewShows(const CConsoleProcess& console, const std::wstring& expected,
                                          DWORD limitMs = 15000)
{
    if (console.WaitForText(
            IDC_LOG_VIEW, [&](const std::wstring& t) { return t == expected; }, limitMs))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the view holds " << ToUtf8(console.Text(IDC_LOG_VIEW).substr(0, 2000));
}

// Whether a console that a test starts has its log service started too.
enum class Service { Stopped, Started };

// Runs each case of a table against a console of its own, as check(c, console): what one case
// leaves in a console cannot pass or fail the next.
template <class Cases, class Check>
void ForEachCaseOnItsOwnConsole(const Cases& cases, Service service, Check check)
{
    ForEachCase(cases, [&](const auto& c) {
        CConsoleProcess console;
        if (service == Service::Started) {
            ASSERT_EQ(console.StartWithService(), nullptr);
        } else {
            ASSERT_TRUE(console.Start()) << "no window titled as the console";
        }
        check(c, console);
    });
}
