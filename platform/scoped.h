#pragma once
// Small owners of Win32 resources, each closing what it holds when it goes out of scope.
// Product, tests and bench use these; a new owner goes here, not into the file that needs it.
#include <winsock2.h>

#include <objbase.h>
#include <windows.h>

#include <utility>

// Locks a moveable local memory block, such as an edit control's text, while in scope.
class LockedLocal {
public:
    explicit LockedLocal(HLOCAL block) : m_hBlock(block), m_pData(block ? ::LocalLock(block) : nullptr) {}
    ~LockedLocal()
    {
        if (m_pData)
            ::LocalUnlock(m_hBlock);
    }
    LockedLocal(const LockedLocal&) = delete;
    LockedLocal& operator=(const LockedLocal&) = delete;
    void* Data() const { return m_pData; }

private:
    HLOCAL m_hBlock;
    void* m_pData;
};

// Owns a GDI object (a region, a pen, a brush).
template <class Handle>
class GdiObject {
public:
    explicit GdiObject(Handle handle) : m_handle(handle) {}
    ~GdiObject()
    {
        if (m_handle)
            ::DeleteObject(m_handle);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    operator Handle() const { return m_handle; }

private:
    Handle m_handle;
};

// Owns one reference to a COM object.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (m_p)
            m_p->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* operator->() const { return m_p; }
    T** operator&() { return &m_p; }

private:
    T* m_p = nullptr;
};

// COM for this thread while in scope. A thread already in the multithreaded apartment cannot
// host the shell's dialogs; then Ok() is false.
class ComScope {
public:
    ComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Ok() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// Frees a string the shell allocated.
class TaskMemString {
public:
    TaskMemString() = default;
    ~TaskMemString() { ::CoTaskMemFree(m_p); }
    TaskMemString(const TaskMemString&) = delete;
    TaskMemString& operator=(const TaskMemString&) = delete;
    wchar_t** operator&() { return &m_p; }
    const wchar_t* get() const { return m_p; }

private:
    wchar_t* m_p = nullptr;
};

// Closes a kernel handle (a process, a thread, a pipe, a file); move-only.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_h(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_h, nullptr));
        return *this;
    }
    void Reset(HANDLE handle = nullptr)
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
        m_h = handle;
    }
    HANDLE Get() const { return m_h; }
    HANDLE* Put() { return &m_h; }
    explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h = nullptr;
};

// Closes a socket; move-only.
class UniqueSocket {
public:
    UniqueSocket() = default;
    explicit UniqueSocket(SOCKET s) : m_s(s) {}
    ~UniqueSocket() { Reset(); }
    UniqueSocket(UniqueSocket&& other) noexcept : m_s(std::exchange(other.m_s, INVALID_SOCKET)) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_s, INVALID_SOCKET));
        return *this;
    }
    void Reset(SOCKET s = INVALID_SOCKET)
    {
        if (m_s != INVALID_SOCKET)
            ::closesocket(m_s);
        m_s = s;
    }
    SOCKET Get() const { return m_s; }
    explicit operator bool() const { return m_s != INVALID_SOCKET; }

private:
    SOCKET m_s = INVALID_SOCKET;
};
