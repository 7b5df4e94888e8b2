#pragma once
// Messages of a window that the program looks at before the window's own class does (the common
// controls' window subclass). The subclass goes with the object, or with the window.
#include <windows.h>

class CWindowSubclass {
public:
    CWindowSubclass() = default;
    CWindowSubclass(const CWindowSubclass&) = delete;
    CWindowSubclass& operator=(const CWindowSubclass&) = delete;
    virtual ~CWindowSubclass() { Detach(); }

    // Starts looking at `window`'s messages; false when the system refused.
    bool Attach(HWND window);
    void Detach();

protected:
    // The first look at a message: true with its result when handled here, false to pass it on
    // to the window's own procedure.
    virtual bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self);
    HWND m_hWnd = nullptr;
};
