#pragma once
// Small owners of Win32 resources, each closing what it holds when it goes out of scope.
#include <windows.h>

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
