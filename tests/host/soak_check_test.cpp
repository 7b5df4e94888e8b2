// The soak's check of the view before each clear: it passes a view that holds everything sent,
// in any interleaving of clients, and names what is wrong in one that does not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/soak_check.h"
#include "bench_mode/bench_payload.h"
#include "testkit/case_table.h"

namespace {

constexpr int kClients = 3;
constexpr int64_t kLines = 4;
constexpr size_t kLineSize = 40;
constexpr size_t kUnbroken = 60;

std::string Line(int client, int64_t seq)
{
    return zelsend::MakeBenchPayload(client, seq, kLineSize);
}

// Clients' lines taken in turn, with an unbroken frame before the lines numbered in `unbrokenAt`.
std::string View(const std::vector<int64_t>& unbrokenAt)
{
    std::string view;
    for (int64_t seq = 0; seq < kLines; ++seq) {
        for (int client = 0; client < kClients; ++client) {
            if (client == 1)
                for (int64_t at : unbrokenAt)
                    view += at == seq ? zelbench::UnbrokenLetters(kUnbroken) : "";
            view += Line(client, seq);
        }
    }
    return view;
}

std::string Without(std::string view, const std::string& part)
{
    return view.erase(view.find(part), part.size());
}

struct ViewCase {
    const char* name;
    std::string view;
    int unbrokenFrames;
    const char* problem; // nullptr: the check passes; else a word of what it says
};

const std::string kUnbrokenRun = zelbench::UnbrokenLetters(kUnbroken);

// Line breaks where a sender broke its lines: in an unbroken frame, and in the numbered line that
// goes on after one, in its header or after it.
std::string WithBreaks(std::string view, const std::string& lineBreak = "\r\n")
{
    for (size_t at = view.find(kUnbrokenRun); at != std::string::npos; at = view.find(kUnbrokenRun, at + 1)) {
        view.insert(at + 20, lineBreak);
        view.insert(at + 42, lineBreak);
    }
    const std::vector<std::pair<std::string, size_t>> cuts = {{Line(1, 0), 3}, {Line(1, 2), 15}, {Line(1, 3), 27}};
    for (const auto& [line, after] : cuts)
        view.insert(view.find(line) + after, lineBreak);
    return view;
}

TEST(SoakCheck, PassesWholeViewsAndNamesWhatIsWrong)
{
    const ViewCase cases[] = {
        {"all lines, no unbroken frame", View({}), 0, nullptr},
        {"two unbroken frames apart", View({0, 2}), 2, nullptr},
        {"two unbroken frames together", View({1, 1}), 2, nullptr},
        {"an unbroken frame last", View({}) + kUnbrokenRun, 1, nullptr},
        {"a line broken by its sender", WithBreaks(View({})), 0, "corrupt"},
        {"a line missing", Without(View({}), Line(2, 1)), 0, "missing"},
        {"a line twice", View({}) + Line(0, 3), 0, "duplicate"},
        {"lines of a client out of order", Without(View({}), Line(1, 0)) + Line(1, 0), 0, "order"},
        {"an unbroken frame missing", View({1}), 2, "1 unbroken frames shown of 2"},
        {"an unbroken frame too many", View({1, 3}), 1, "2 unbroken frames shown of 1"},
        {"an unbroken frame cut short", Without(View({1}), "XYZ"), 1, "cut or changed"},
        {"an unbroken frame with a letter changed",
         [] {
             std::string view = View({2});
             view[view.find("ABC") + 30] = 'a';
             return view;
         }(),
         1, "cut or changed"},
    };
    ForEachCase(cases, [](const ViewCase& c) {
        const std::string said = zelbench::CheckSoakView(c.view, kClients, kLines, c.unbrokenFrames, kUnbroken);
        if (c.problem)
            EXPECT_NE(said.find(c.problem), std::string::npos) << said;
        else
            EXPECT_EQ(said, "");
    });
}

} // namespace
