#include "platform/stdio_file.h"

bool CStdioFile::Fail()
{
    m_lastError = ::GetLastError();
    return false;
}

bool CStdioFile::Open(const wchar_t* path)
{
    Close();
    m_file.Reset(
        ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen() || Fail();
}

bool CStdioFile::Write(const void* data, size_t size)
{
    // In pieces: one WriteFile takes at most a DWORD's worth, and a short write means the
    // device is full or gone.
    constexpr size_t kPiece = 1 << 20;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(size < kPiece ? size : kPiece);
        DWORD written = 0;
        if (!::WriteFile(m_file.Get(), bytes, piece, &written, nullptr))
            return Fail();
        if (written != piece) {
            m_lastError = ERROR_DISK_FULL;
            return false;
        }
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool CStdioFile::Close()
{
    if (!IsOpen())
        return true;
    return ::CloseHandle(m_file.Release()) || Fail();
}
