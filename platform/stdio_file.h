#pragma once
// A file written from its start: created, or emptied when it exists. Owns its handle and
// closes it on destruction. Writes bytes as given; what they are is the caller's business.
#include <windows.h>

#include <cstddef>

class CStdioFile {
public:
    CStdioFile() = default;
    ~CStdioFile();
    CStdioFile(CStdioFile&& other) noexcept;
    CStdioFile& operator=(CStdioFile&& other) noexcept;
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    // Creates or truncates the file for writing; others may read it meanwhile.
    bool Open(const wchar_t* path);
    // Writes all of the bytes or fails; a failure may leave some of them written.
    bool Write(const void* data, size_t size);
    // Closes the file; false when the system reports a failure on the way.
    bool Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

    // The system's error code of the last failed call.
    DWORD LastError() const { return m_lastError; }

private:
    bool Fail();

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    DWORD m_lastError = ERROR_SUCCESS;
};
