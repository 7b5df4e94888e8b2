#pragma once
// zelsend's exit codes, which scripts and the README rely on, and its one way of saying why.
#include <cstdio>
#include <string>

namespace zelsend {

constexpr int kExitSent = 0;   // everything sent, or a bridge was stopped
constexpr int kExitFailed = 1; // cannot connect, send or read; the debug-output buffer is taken
constexpr int kExitUsage = 2;  // bad arguments, or a frame too long for the console: the input is at fault

// Prints "zelsend: ERROR" on standard error and returns `code`.
inline int Fail(const std::string& error, int code = kExitFailed)
{
    std::fprintf(stderr, "zelsend: %s\n", error.c_str());
    return code;
}

} // namespace zelsend
