#include "unbroken_pieces.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_stats.h"
#include "bench_text.h"
#include "plain_dialog.h"
#include "testkit/wire_text.h"
#include "ui/log_view.h"

namespace zelbench {
namespace {

const size_t kPieces[] = {1, 64, 256, 1024, 4096};
// The run grows between rows in pieces of this size: about the cheapest per character.
constexpr size_t kGrowPiece = 4096;

class Run {
public:
    explicit Run(CLogView& view, HWND dialog) : m_view(view), m_dialog(dialog) {}

    size_t Length() const { return m_length; }

    // Appends the run's next `count` letters and paints. Returns the append's milliseconds.
    double Append(size_t count)
    {
        const std::wstring piece = Widen(Letters(m_length, count));
        const double start = Now();
        m_view.Append(piece);
        const double ms = (Now() - start) * 1000;
        PaintNow(m_dialog);
        m_length += count;
        return ms;
    }

private:
    CLogView& m_view;
    HWND m_dialog;
    size_t m_length = 0;
};

} // namespace

int UnbrokenPiecesMain(long long maxChars, int seconds)
{
    HWND dialog = ShowPlainDialog();
    if (!dialog || maxChars <= 0)
        return 1;
    CEdit edit = ViewEdit(dialog);
    CLogView view(edit);
    view.SetCapacity(static_cast<size_t>(maxChars) + 1024 * 1024);
    Run run(view, dialog);

    std::printf("append of an unbroken piece at the end of an unbroken run, median of 3, ms\n");
    std::printf("%10s %8s", "run", "seconds");
    for (size_t piece : kPieces)
        std::printf(" %9zu", piece);
    std::printf("   (piece, characters)\n");
    std::fflush(stdout);

    const double start = Now();
    std::vector<size_t> rows = {16 * 1024, 64 * 1024, 256 * 1024, 512 * 1024};
    for (size_t mi = 1; mi <= 16; ++mi)
        rows.push_back(mi * 1024 * 1024);
    for (size_t row : rows) {
        if (row > static_cast<size_t>(maxChars) || Now() - start > seconds)
            break;
        while (run.Length() < row)
            run.Append(std::min(kGrowPiece, row - run.Length()));
        std::printf("%10zu %8.0f", run.Length(), Now() - start);
        for (size_t piece : kPieces) {
            Samples ms;
            for (int i = 0; i < 3; ++i)
                ms.Add(run.Append(piece));
            std::printf(" %9.1f", ms.Median());
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    // A line break ends the run: what a character, a line and 64 Ki of lines cost after it.
    view.Append(L"\r\n");
    size_t added = 2;
    std::wstring line(98, L'y');
    line += L"\r\n";
    std::wstring lines;
    while (lines.size() < 64 * 1024)
        lines += line;
    std::printf("after a line break (median of 5, ms):");
    for (const std::wstring* text : {&line, &lines}) {
        Samples ms;
        for (int i = 0; i < 5; ++i) {
            const double at = Now();
            view.Append(*text);
            ms.Add((Now() - at) * 1000);
            PaintNow(dialog);
            added += text->size();
        }
        std::printf(" %zu characters %.1f;", text->size(), ms.Median());
    }
    std::printf("\n");
    const size_t expected = run.Length() + added;
    // The run went in as rows the view ended itself: what was sent is the text without them.
    const size_t length = view.SentText().size();
    std::printf("text at the end: %zu characters as sent (%s)\n", length, length == expected ? "all there" : "MISSING");
    ::DestroyWindow(dialog);
    return length == expected ? 0 : 1;
}

} // namespace zelbench
