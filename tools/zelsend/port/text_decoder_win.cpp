#include "port/text_decoder.h"
#include "port/handle_win.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace zelsend {

TextDecoder::~TextDecoder() = default;

bool TextDecoder::Open(unsigned codePage, std::string& error)
{
    if (codePage != kUtf8CodePage && !IsValidCodePage(codePage)) {
        error = "code page " + std::to_string(codePage) + " is not installed on this system";
        return false;
    }
    codePage_ = codePage;
    return true;
}

std::string TextDecoder::ToUtf8(std::string_view bytes) const
{
    // Lines are at most a few times the console's 16 MiB frame limit: int sizes suffice.
    if (codePage_ == kUtf8CodePage || bytes.empty() || bytes.size() > INT_MAX / 2)
        return std::string(bytes);
    const int size = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(codePage_, 0, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        return std::string(bytes);
    std::vector<wchar_t> text(static_cast<size_t>(wide));
    MultiByteToWideChar(codePage_, 0, bytes.data(), size, text.data(), wide);
    return Narrow(text.data(), text.size());
}

} // namespace zelsend
