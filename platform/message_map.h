#pragma once
// A window's message map: a table of {message, control id, handler} with typed handlers.
// The helpers below turn a member function of a known signature into an entry, so a reader
// sees every message a window handles in one place and the compiler checks each signature.
#include <windows.h>

template <class T>
struct MessageEntry {
    UINT message;
    UINT controlId;  // for WM_COMMAND entries: the control; otherwise 0
    UINT notifyCode; // for WM_COMMAND entries: the notification (BN_CLICKED, ...)
    // Runs the handler; returns false when the message still needs default processing.
    bool (*thunk)(T& self, const MessageEntry& entry, WPARAM wParam, LPARAM lParam, LRESULT& result);
    union {
        void (T::*plain)();
        void (T::*sysCommand)(UINT, LPARAM);
        HCURSOR (T::*queryIcon)();
        void (T::*timer)(UINT_PTR);
    } fn;
};

// An entry for `message` whose thunk calls the handler that the maker stores in `fn`.
template <class T>
MessageEntry<T> EntryFor(UINT message, decltype(MessageEntry<T>::thunk) thunk)
{
    return MessageEntry<T>{message, 0, 0, thunk, {}};
}

template <class T>
MessageEntry<T> OnMessage(UINT message, void (T::*handler)())
{
    auto e = EntryFor<T>(message, [](T& self, const MessageEntry<T>& entry, WPARAM, LPARAM, LRESULT& result) {
        (self.*entry.fn.plain)();
        result = 0;
        return true;
    });
    e.fn.plain = handler;
    return e;
}

// WM_SYSCOMMAND-shaped handlers: (command id, lParam).
template <class T>
MessageEntry<T> OnMessage(UINT message, void (T::*handler)(UINT, LPARAM))
{
    auto e =
        EntryFor<T>(message, [](T& self, const MessageEntry<T>& entry, WPARAM wParam, LPARAM lParam, LRESULT& result) {
            (self.*entry.fn.sysCommand)(static_cast<UINT>(wParam), lParam);
            result = 0;
            return true;
        });
    e.fn.sysCommand = handler;
    return e;
}

// WM_QUERYDRAGICON-shaped handlers: the result is the handle.
template <class T>
MessageEntry<T> OnMessage(UINT message, HCURSOR (T::*handler)())
{
    auto e = EntryFor<T>(message, [](T& self, const MessageEntry<T>& entry, WPARAM, LPARAM, LRESULT& result) {
        result = reinterpret_cast<LRESULT>((self.*entry.fn.queryIcon)());
        return true;
    });
    e.fn.queryIcon = handler;
    return e;
}

// WM_TIMER: the timer's id.
template <class T>
MessageEntry<T> OnTimer(void (T::*handler)(UINT_PTR))
{
    auto e = EntryFor<T>(WM_TIMER, [](T& self, const MessageEntry<T>& entry, WPARAM wParam, LPARAM, LRESULT& result) {
        (self.*entry.fn.timer)(static_cast<UINT_PTR>(wParam));
        result = 0;
        return true;
    });
    e.fn.timer = handler;
    return e;
}

template <class T>
MessageEntry<T> OnClicked(UINT controlId, void (T::*handler)())
{
    MessageEntry<T> e = OnMessage(WM_COMMAND, handler);
    e.controlId = controlId;
    e.notifyCode = BN_CLICKED;
    return e;
}

// Finds the entry for a message and runs it. False: no entry, use the default processing.
template <class T, size_t N>
bool DispatchMessageMap(T& self, const MessageEntry<T> (&map)[N], UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT& result)
{
    for (const MessageEntry<T>& entry : map) {
        if (entry.message != message)
            continue;
        if (message == WM_COMMAND && (entry.controlId != LOWORD(wParam) || entry.notifyCode != HIWORD(wParam)))
            continue;
        return entry.thunk(self, entry, wParam, lParam, result);
    }
    return false;
}
