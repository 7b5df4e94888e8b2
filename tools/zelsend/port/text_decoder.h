#pragma once
// Turns lines of standard input into the UTF-8 the console shows. A Chinese Windows console
// and most Windows programs write code page 936, which the console would drop as invalid
// UTF-8: such lines are converted before they are framed.
#include <string>
#include <string_view>

namespace zelsend {

// The code page of CP_UTF8: text in it is sent as it is.
constexpr unsigned kUtf8CodePage = 65001;

class TextDecoder {
public:
    TextDecoder() = default; // takes bytes as UTF-8, unchanged
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    // Converts from Windows code page `codePage` from now on; false with `error` when the
    // system does not know it. 65001 keeps the bytes as they are.
    bool Open(unsigned codePage, std::string& error);
    // Bytes that cannot be read in the code page become '?', so the rest of the line still shows.
    std::string ToUtf8(std::string_view bytes) const;
    // False while the bytes are taken as UTF-8: ToUtf8 would only copy them.
    bool Converts() const { return codePage_ != kUtf8CodePage; }

private:
    unsigned codePage_ = kUtf8CodePage;
    void* iconv_ = nullptr; // POSIX: the iconv_t from the code page to UTF-8; unused on Windows
};

} // namespace zelsend
