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

// Owns one handle of a kind that Traits names: closes it when it goes; move-only.
template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;
    UniqueResource() = default;
    explicit UniqueResource(Handle h) : m_h(h) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_h(std::exchange(other.m_h, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.m_h, Traits::Invalid()));
        return *this;
    }
    void Reset(Handle h = Traits::Invalid())
    {
        if (Traits::Valid(m_h))
            Traits::Close(m_h);
        m_h = h;
    }
    Handle Get() const { return m_h; }
    // Gives the handle up without closing it, for a caller that must see how its close went.
    Handle Release() { return std::exchange(m_h, Traits::Invalid()); }
    explicit operator bool() const { return Traits::Valid(m_h); }

private:
    Handle m_h = Traits::Invalid();
};

// A kernel handle (a process, a thread, a pipe, a file); both null and INVALID_HANDLE_VALUE hold nothing.
struct HandleTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool Valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HandleTraits>;

// A directory search that FindFirstFileW began; it fails with INVALID_HANDLE_VALUE, not null.
struct FindTraits {
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
using UniqueFind = UniqueResource<FindTraits>;

// A view of a file mapping, as MapViewOfFile returns it; unmapped when it goes.
struct MappedViewTraits {
    using Handle = void*;
    static void* Invalid() { return nullptr; }
    static bool Valid(void* p) { return p != nullptr; }
    static void Close(void* p) { ::UnmapViewOfFile(p); }
};
using MappedView = UniqueResource<MappedViewTraits>;

// A started process: its handle and its first thread's, closed when it goes; the process runs on.
class ProcessHandles {
public:
    ProcessHandles() = default;
    explicit ProcessHandles(const PROCESS_INFORMATION& info)
        : m_process(info.hProcess), m_thread(info.hThread), m_id(info.dwProcessId)
    {
    }
    HANDLE Process() const { return m_process.Get(); }
    DWORD Id() const { return m_id; }

private:
    UniqueHandle m_process;
    UniqueHandle m_thread;
    DWORD m_id = 0;
};

struct SocketTraits {
    using Handle = SOCKET;
    static SOCKET Invalid() { return INVALID_SOCKET; }
    static bool Valid(SOCKET s) { return s != INVALID_SOCKET; }
    static void Close(SOCKET s) { ::closesocket(s); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

// A GDI object (a region, a pen, a brush).
template <class H>
struct GdiTraits {
    using Handle = H;
    static H Invalid() { return nullptr; }
    static bool Valid(H h) { return h != nullptr; }
    static void Close(H h) { ::DeleteObject(h); }
};
template <class H>
using GdiObject = UniqueResource<GdiTraits<H>>;

// A device context that CreateCompatibleDC made; deleted when it goes, not released.
struct MemoryDcTraits {
    using Handle = HDC;
    static HDC Invalid() { return nullptr; }
    static bool Valid(HDC dc) { return dc != nullptr; }
    static void Close(HDC dc) { ::DeleteDC(dc); }
};
using MemoryDc = UniqueResource<MemoryDcTraits>;

// Keeps a shown window from drawing while in scope, as WM_SETREDRAW does on Windows (which
// clears WS_VISIBLE; Wine's keeps the bit, and its edit control then redraws the themed scroll
// bar on every change). At the end the window shows again and all of it, frame included, waits
// for the next paint.
class HeldDrawing {
public:
    explicit HeldDrawing(HWND window)
        : m_hWnd((::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 ? window : nullptr)
    {
        if (m_hWnd)
            ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) & ~WS_VISIBLE);
    }
    ~HeldDrawing()
    {
        if (!m_hWnd)
            return;
        ::SetWindowLongW(m_hWnd, GWL_STYLE, ::GetWindowLongW(m_hWnd, GWL_STYLE) | WS_VISIBLE);
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    HeldDrawing(const HeldDrawing&) = delete;
    HeldDrawing& operator=(const HeldDrawing&) = delete;

private:
    HWND m_hWnd;
};
