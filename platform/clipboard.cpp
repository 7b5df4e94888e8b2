#include "platform/clipboard.h"

#include <cstring>

namespace {
// The clipboard, open until the object goes.
class ClipboardOpen {
public:
    explicit ClipboardOpen(HWND owner) : m_open(::OpenClipboard(owner) != FALSE) {}
    ~ClipboardOpen()
    {
        if (m_open)
            ::CloseClipboard();
    }
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    explicit operator bool() const { return m_open; }

private:
    bool m_open;
};
} // namespace

bool SetClipboardText(HWND owner, std::wstring_view text)
{
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!memory)
        return false;
    auto* units = static_cast<wchar_t*>(::GlobalLock(memory));
    if (!units) {
        ::GlobalFree(memory);
        return false;
    }
    std::memcpy(units, text.data(), text.size() * sizeof(wchar_t));
    units[text.size()] = L'\0';
    ::GlobalUnlock(memory);

    const ClipboardOpen clipboard(owner);
    // Once the clipboard holds the memory it is the system's; until then it is ours to free.
    if (!clipboard || !::EmptyClipboard() || !::SetClipboardData(CF_UNICODETEXT, memory)) {
        ::GlobalFree(memory);
        return false;
    }
    return true;
}
