#pragma once
// The lines log_rotator.exe writes, shared with the tests that check what arrives.
#include <cstdio>
#include <string>

// Line `n` without its line end: numbered, so that a gap or a repeat shows.
inline std::string LogRotatorLine(int n)
{
    char text[32];
    std::snprintf(text, sizeof text, "rotated log %06d", n);
    return text;
}
