// log_rotator.exe PATH FIRST ROUNDS STEP...: a program that logs and rotates its log as services
// do, for the tests and the measurements of a followed file. Each round runs the steps in
// order: "wN" writes N numbered lines (LogRotatorLine, from FIRST on) to PATH, held open and
// shared for reading only, as loggers hold their logs; "sN" sleeps N ms; "r" rotates: closes PATH, renames it to
// PATH.1 replacing what is there (MoveFileEx with MOVEFILE_REPLACE_EXISTING) and makes a new,
// empty PATH. It never retries: a rename or an open that fails is counted, with its error, and
// the exit code is 1. Prints "lines N rotations R failed F".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "testkit/log_rotator.h"

namespace {

int failed = 0;

void Failed(const char* what, const std::wstring& path)
{
    ++failed;
    std::printf("%s %ls failed: error %lu\n", what, path.c_str(), ::GetLastError());
}

HANDLE OpenLog(const std::wstring& path)
{
    HANDLE log = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        Failed("open", path);
    return log;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    const std::wstring path = argv[1], rotated = path + L".1";
    int next = std::wcstol(argv[2], nullptr, 10);
    const int rounds = std::wcstol(argv[3], nullptr, 10);
    int lines = 0, rotations = 0;
    HANDLE log = OpenLog(path);
    for (int round = 0; round < rounds; ++round) {
        for (int step = 4; step < argc; ++step) {
            if (argv[step][0] == L'w') {
                for (int n = std::wcstol(argv[step] + 1, nullptr, 10); n > 0; --n, ++lines) {
                    const std::string line = LogRotatorLine(next++) + "\r\n";
                    DWORD wrote = 0;
                    if (!::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &wrote, nullptr))
                        Failed("write", path);
                }
                continue;
            }
            if (argv[step][0] == L's') {
                ::Sleep(static_cast<DWORD>(std::wcstol(argv[step] + 1, nullptr, 10)));
                continue;
            }
            ::CloseHandle(log);
            ++rotations;
            if (!::MoveFileExW(path.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING))
                Failed("rename to", rotated);
            log = OpenLog(path);
        }
    }
    ::CloseHandle(log);
    std::printf("lines %d rotations %d failed %d\n", lines, rotations, failed);
    return failed == 0 ? 0 : 1;
}
