#pragma once
// The command line and standard input, as Windows and POSIX systems each hand them over.
#include <cstddef>
#include <string>
#include <vector>

namespace zelsend {

// The arguments after the program name, in UTF-8 whatever the system's code page.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The Windows code page of standard input's lines: the console's input code page when standard
// input is a console; otherwise `piped`, or when that is 0 the system's ANSI code page on
// Windows and UTF-8 (65001) elsewhere.
unsigned StdinCodePage(unsigned piped);

// Reads what standard input has ready, byte for byte (no CR LF translation), up to `size`.
// Returns the count, 0 at the end, -1 on an error.
long ReadStdin(char* buffer, size_t size);

} // namespace zelsend
