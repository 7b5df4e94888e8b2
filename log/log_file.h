#pragma once
// The saved log: the view's text as bytes of code page 936 (Simplified Chinese), each line
// ending in CR LF, and the writing of those bytes to a file. Needs no window.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/cstring.h"

constexpr UINT kLogFileCodePage = 936;

struct LogFileBytes {
    std::string bytes;
    // Characters the code page lacks, each written as one "?".
    size_t replaced = 0;
};

// Line breaks: CR LF stays CR LF, a lone LF becomes CR LF, a lone CR stays as it is (it is no
// line break to a reader, and the file should hold what the view holds).
LogFileBytes EncodeLogFile(const CString& viewText);

enum class LogFileOutcome {
    Written,
    OpenFailed,  // nothing was written; an existing file is untouched
    WriteFailed, // the file may hold only part of the bytes
};

struct LogFileWrite {
    LogFileOutcome outcome;
    DWORD error; // the system's error code when it failed
};

// Creates the file, or replaces an existing one, and writes the bytes.
LogFileWrite WriteLogFile(const CString& path, const std::string& bytes);
