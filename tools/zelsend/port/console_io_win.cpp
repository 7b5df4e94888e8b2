#include "port/console_io.h"
#include "port/handle_win.h"

#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cwchar>

namespace zelsend {

// argv is in the ANSI code page (936 on the console's systems); the wide command line is not.
std::vector<std::string> Utf8Arguments(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(Narrow(wide[i], std::wcslen(wide[i])));
    LocalFree(wide);
    return args;
}

unsigned StdinCodePage(unsigned piped)
{
    // Text typed in a console reaches a program in the console's code page, whatever the
    // program asks for.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode))
        return GetConsoleCP();
    return piped != 0 ? piped : GetACP();
}

long ReadStdin(char* buffer, size_t size)
{
    const unsigned chunk = size > 65536 ? 65536 : static_cast<unsigned>(size);
    // Pipes and files are read byte for byte; a console keeps its text mode, where Ctrl+Z ends
    // the input as Windows users expect.
    static const bool binary = !_isatty(0) && _setmode(0, _O_BINARY) != -1;
    (void)binary;
    return _read(0, buffer, chunk);
}

} // namespace zelsend
