// Holds the real console open, with its log service started, for a script or a client outside
// Wine that acts as its clients (tests/readme, the Python client's end-to-end test). Writes
// <ready-file> once the service listens, waits until <done-file> exists, then writes the log
// view's text, as sent, to <view-file> in UTF-8 and closes the console. When the done file holds a number,
// the view is first given time to reach that length (in UTF-16 units).
//   console_session <ready-file> <done-file> <view-file>      (Windows paths)
#include <windows.h>

#include <cstdio>
#include <string>

#include "res/resource.h"
#include "testkit/console_process.h"
#include "testkit/temp_dir.h"
#include "testkit/view_text.h"
#include "testkit/wait.h"
#include "testkit/wire_text.h"

namespace {

constexpr DWORD kLimitMs = 10 * 60 * 1000; // a script that hangs fails instead of holding the port

int Fail(const char* what)
{
    std::fprintf(stderr, "console_session: %s\n", what);
    return 1;
}

bool WriteUtf8(const wchar_t* path, const std::wstring& text)
{
    const std::string bytes = ToUtf8(text);
    FILE* file = _wfopen(path, L"wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// The number in the done file; 0 when it holds none.
long ExpectedLength(const wchar_t* path)
{
    FILE* file = _wfopen(path, L"r");
    if (!file)
        return 0;
    long n = 0;
    if (std::fscanf(file, "%ld", &n) != 1)
        n = 0;
    std::fclose(file);
    return n;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return Fail("usage: console_session <ready-file> <done-file> <view-file>");
    CConsoleProcess console;
    if (const char* failed = console.StartWithService())
        return Fail(failed);
    if (!WriteUtf8(argv[1], L"ready\n"))
        return Fail("cannot write the ready file");

    const CString doneFile = argv[2];
    if (!WaitUntil([&] { return FileExists(doneFile); }, kLimitMs, [] { ::Sleep(100); }))
        return Fail("timed out waiting for the done file");
    // Frames sent just before the end may still be on their way into the view: wait for the
    // length the client expects, then until the length has held still for half a second.
    if (const long expected = ExpectedLength(argv[2]); expected > 0)
        WaitUntil([&] { return console.TextLength(IDC_LOG_VIEW) >= expected; }, 180000);
    int length = -1, still = 0;
    WaitUntil(
        [&] {
            const int now = console.TextLength(IDC_LOG_VIEW);
            still = now == length ? still + 1 : 0;
            length = now;
            return still >= 5;
        },
        30000, [] { ::Sleep(100); });
    const bool saved = WriteUtf8(argv[3], AsSent(console.Text(IDC_LOG_VIEW)));
    ::PostMessageW(console.Window(), WM_CLOSE, 0, 0);
    console.WaitForExit(10000);
    return saved ? 0 : Fail("cannot write the view file");
}
