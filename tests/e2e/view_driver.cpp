// Lets a client outside Wine log into the real console and read back what the view shows: starts
// the console and its log service, writes <ready-file>, waits for <done-file> (it holds the length
// the view will reach, in UTF-16 units), then writes the view's text to <out-file> in UTF-8 and
// closes the console.
//   view_driver <ready-file> <done-file> <out-file>      (Windows paths)
#include <winsock2.h>

#include <cstdio>
#include <string>

#include "console_process.h"
#include "res/resource.h"
#include "tests/common/wire_text.h"

namespace {

int Fail(const char* what)
{
    std::fprintf(stderr, "view_driver: %s\n", what);
    return 1;
}

// The number in the done file, or -1 while it is not there yet.
long ReadExpected(const wchar_t* path)
{
    FILE* f = _wfopen(path, L"r");
    if (!f)
        return -1;
    long n = -1;
    if (std::fscanf(f, "%ld", &n) != 1)
        n = -1;
    std::fclose(f);
    return n;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return Fail("usage: view_driver <ready-file> <done-file> <out-file>");
    CConsoleProcess console;
    if (!console.Start())
        return Fail("the console window did not appear");
    console.Click(IDC_SERVICE_BUTTON);
    if (!console.WaitForText(IDC_SERVICE_BUTTON, [](const std::wstring& t) { return t == L"关闭"; }))
        return Fail("the log service did not start (is port 11925 taken?)");
    FILE* ready = _wfopen(argv[1], L"w");
    if (!ready)
        return Fail("cannot write the ready file");
    std::fclose(ready);

    long expected = -1;
    for (int waited = 0; (expected = ReadExpected(argv[2])) < 0 && waited < 600000; waited += 50)
        ::Sleep(50);
    if (expected < 0)
        return Fail("the client never finished");
    // Past the expected length or at the limit, the view is read as it is: the client judges it.
    for (int waited = 0; console.TextLength(IDC_LOG_VIEW) < expected && waited < 180000; waited += 20)
        ::Sleep(20);
    const std::string text = ToUtf8(console.Text(IDC_LOG_VIEW));
    FILE* out = _wfopen(argv[3], L"wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size())
        return Fail("cannot write the view's text");
    std::fclose(out);
    console.Kill();
    return 0;
}
