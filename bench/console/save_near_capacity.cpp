#include "save_near_capacity.h"

#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_console.h"
#include "platform/scoped.h"
#include "testkit/console_texts.h"
#include "testkit/save_dialog_driver.h"
#include "testkit/temp_dir.h"
#include "testkit/wire_text.h"

namespace zelbench {
namespace {

constexpr int kFramesBefore = 240;
constexpr int kFramesWhileOpen = 20;
constexpr size_t kFrameChars = 100000;

// Frame `f`: 1,000 numbered lines of 100 characters, CR LF included.
std::string NumberedFrame(int f)
{
    std::string frame;
    frame.reserve(kFrameChars);
    for (int line = 0; line < 1000; ++line) {
        char head[32];
        std::snprintf(head, sizeof head, "frame %03d line %03d ", f, line);
        std::string text = head;
        text.resize(98, '.');
        frame += text + "\r\n";
    }
    return frame;
}

// Fills the view, then saves it while frames arrive.
int SaveFull(CConsoleProcess& console, const IdleConsole& served)
{
    UniqueSocket client = ConnectOrSay("FAILED: the client could not connect");
    if (!client)
        return 1;
    std::string expected = std::string(kStartedLine936) + "\r\n";
    double start = Now();
    for (int f = 0; f < kFramesBefore; ++f) {
        const std::string frame = NumberedFrame(f);
        expected += frame;
        if (!SendAll(client.Get(), Frame(frame))) {
            std::printf("FAILED: the console dropped the client\n");
            return 1;
        }
    }
    const size_t full = served.viewLength + kFramesBefore * kFrameChars;
    const double filled = WaitForViewLength(console, full, 900, 20);
    if (filled < 0) {
        std::printf("FAILED: the view did not reach %zu characters\n", full);
        return 1;
    }
    std::printf("view filled to %d characters in %.1f s; working set %.1f MB\n", console.TextLength(IDC_LOG_VIEW),
                Now() - start, WorkingSetMB(console));
    std::fflush(stdout);

    // The operator clicks "保存日志"; while the dialog is open, 20 more frames come.
    TempDir dir;
    const std::wstring path = dir.File(L"full.txt");
    console.Click(IDC_SAVE_LOG);
    const HWND dialog = savedlg::WaitForOwnedDialog(console.ProcessId(), console.Window());
    if (!dialog) {
        std::printf("FAILED: no save dialog\n");
        return 1;
    }
    std::string arriving;
    for (int f = kFramesBefore; f < kFramesBefore + kFramesWhileOpen; ++f)
        arriving += NumberedFrame(f);
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        for (int f = 0; f < kFramesWhileOpen; ++f)
            SendAll(client.Get(), Frame(arriving.substr(f * kFrameChars, kFrameChars)));
        sent = true;
    });
    // As the operator would, 2 s; but past that until the view has grown and then stood still
    // for 2 s (an append into a full view takes seconds under Wine), at most 120 s.
    int viewWhileOpen = console.TextLength(IDC_LOG_VIEW);
    const double openAt = Now();
    double still = openAt;
    while (Now() - openAt < 120 && (Now() - still < 2 || static_cast<size_t>(viewWhileOpen) == full)) {
        ::Sleep(100);
        const int now = console.TextLength(IDC_LOG_VIEW);
        if (now != viewWhileOpen)
            still = Now();
        viewWhileOpen = now;
    }
    const double openFor = Now() - openAt;
    start = Now();
    const bool confirmed = savedlg::ConfirmName(dialog, path) && savedlg::WaitUntilGone(dialog, 120000);
    const HWND box = confirmed ? savedlg::WaitForOwnedDialog(console.ProcessId(), console.Window(), 120000) : nullptr;
    const double wrote = Now() - start;
    const std::wstring told = box ? TextOf(::GetDlgItem(box, savedlg::kMessageText)) : L"";
    if (box)
        savedlg::Press(box, IDOK);

    const std::string file = FileText(path);
    const bool startsWithView = file.compare(0, expected.size(), expected) == 0;
    const std::string rest = startsWithView ? file.substr(expected.size()) : std::string();
    const bool restInOrder = arriving.compare(0, rest.size(), rest) == 0 && rest.size() % kFrameChars == 0;
    std::printf("while the dialog was open for %.1f s: %s 20 frames of 100,000 characters; the view grew from %zu to "
                "%d characters\n",
                openFor, sent ? "sent all" : "still sending", full, viewWhileOpen);
    std::printf("file: %zu bytes, written and told %.2f s after the name was confirmed (\"%s\"); the view at the "
                "click (%zu bytes in code page 936): %s; then %zu of the 20 frames, %s\n",
                file.size(), wrote, told == L"保存日志文件成功！" ? "保存日志文件成功！" : "ANOTHER MESSAGE",
                expected.size(), startsWithView ? "WHOLE" : "NOT WHOLE", rest.size() / kFrameChars,
                restInOrder ? "whole and in order" : "NOT AS SENT");
    sender.join();

    // Trimming resumes after the save: the last frame shows, within the capacity. The view is
    // read whole once its length has settled: each read copies 50 MB out of the console.
    int length = console.TextLength(IDC_LOG_VIEW);
    const double after = Now();
    for (double still = Now(); Now() - still < 5 && Now() - after < 300;) {
        ::Sleep(200);
        const int now = console.TextLength(IDC_LOG_VIEW);
        still = now != length ? Now() : still;
        length = now;
    }
    const std::wstring view = console.Text(IDC_LOG_VIEW);
    const std::wstring lastLine = Widen(arriving.substr(arriving.size() - 100));
    const bool lastShown =
        view.size() >= lastLine.size() && view.compare(view.size() - lastLine.size(), lastLine.size(), lastLine) == 0;
    std::printf("after the save: last frame %s; view %d characters; console %s, peak working set %.1f MB = idle %.1f "
                "MB + %.1f MB\n",
                lastShown ? "shown" : "NOT SHOWN", length, Alive(console) ? "alive" : "ENDED",
                PeakWorkingSetMB(console), served.workingSetMB, PeakWorkingSetMB(console) - served.workingSetMB);
    return startsWithView && restInOrder && lastShown && box ? 0 : 1;
}

} // namespace

int SaveFullMain()
{
    return OnServedConsole(SaveFull);
}

} // namespace zelbench
