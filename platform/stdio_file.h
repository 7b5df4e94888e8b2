#pragma once
// A file written from its start: created, or emptied when it exists. Owns its handle and
// closes it on destruction; moves, never copies. Writes bytes as given; what they are is the
// caller's business.
#include <windows.h>

#include <cstddef>

#include "platform/scoped.h"

class CStdioFile {
public:
    // Creates or truncates the file for writing; others may read it meanwhile.
    bool Open(const wchar_t* path);
    // Writes all of the bytes or fails; a failure may leave some of them written.
    bool Write(const void* data, size_t size);
    // Closes the file; false when the system reports a failure on the way.
    bool Close();
    bool IsOpen() const { return static_cast<bool>(m_file); }

    // The system's error code of the last failed call.
    DWORD LastError() const { return m_lastError; }

private:
    bool Fail();

    UniqueHandle m_file;
    DWORD m_lastError = ERROR_SUCCESS;
};
