#pragma once
// A fresh directory under the system's temporary folder for one test, removed with its files.
#include <windows.h>

#include <string>

#include "platform/scoped.h"
#include "platform/cstring.h"

class TempDir {
public:
    TempDir()
    {
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        static unsigned serial = 0;
        m_path =
            CString(base) + L"zel-save-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
        ::CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempDir() { RemoveTree(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const CString& Path() const { return m_path; }
    CString File(const wchar_t* name) const { return m_path + L"\\" + name; }
    // Files and folders in it.
    int Entries() const
    {
        int count = 0;
        WIN32_FIND_DATAW found;
        const UniqueFind search(::FindFirstFileW((m_path + L"\\*").c_str(), &found));
        if (!search)
            return 0;
        do {
            const CString name = found.cFileName;
            count += name != L"." && name != L"..";
        } while (::FindNextFileW(search.Get(), &found));
        return count;
    }

private:
    static void RemoveTree(const CString& dir)
    {
        RemoveContents(dir);
        ::RemoveDirectoryW(dir.c_str()); // only once the search is closed
    }

    static void RemoveContents(const CString& dir)
    {
        WIN32_FIND_DATAW found;
        const UniqueFind search(::FindFirstFileW((dir + L"\\*").c_str(), &found));
        if (!search)
            return;
        do {
            const CString name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const CString path = dir + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
                continue;
            }
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search.Get(), &found));
    }

    CString m_path;
};

// The whole content of a file as bytes; false when it cannot be read.
inline bool ReadFileBytes(const CString& path, std::string& bytes)
{
    bytes.clear();
    const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!file)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) != 0) && got > 0)
        bytes.append(buffer, got);
    return ok;
}

// The file's bytes, or a text that no test expects when it cannot be read.
inline std::string FileText(const CString& path)
{
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : "<the file cannot be read>";
}

inline void WriteFileBytes(const CString& path, const std::string& bytes)
{
    const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline bool FileExists(const CString& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A device on which every write fails as on a full disk: Wine shows the host's /dev/full as
// Z:\dev\full. "" where there is none.
inline CString FullDevice()
{
    const wchar_t path[] = L"Z:\\dev\\full";
    const UniqueHandle device(
        ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    return device ? CString(path) : CString();
}
