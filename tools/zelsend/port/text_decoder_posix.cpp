#include "port/text_decoder.h"

#include <iconv.h>

#include <cerrno>

namespace zelsend {

TextDecoder::~TextDecoder()
{
    if (iconv_ != nullptr)
        iconv_close(static_cast<iconv_t>(iconv_));
}

// glibc knows the Windows code pages by the names CP936, CP1252 and so on.
bool TextDecoder::Open(unsigned codePage, std::string& error)
{
    iconv_t cd = nullptr; // UTF-8: the bytes are kept as they are
    if (codePage != kUtf8CodePage) {
        const std::string name = "CP" + std::to_string(codePage);
        cd = iconv_open("UTF-8", name.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            error = "code page " + std::to_string(codePage) + " is not known to this system";
            return false;
        }
    }
    // A converter opened before has no more use.
    if (iconv_ != nullptr)
        iconv_close(static_cast<iconv_t>(iconv_));
    iconv_ = cd;
    codePage_ = codePage;
    return true;
}

std::string TextDecoder::ToUtf8(std::string_view bytes) const
{
    if (iconv_ == nullptr)
        return std::string(bytes);
    const iconv_t cd = static_cast<iconv_t>(iconv_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* to = buffer;
        size_t toLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer, sizeof buffer - toLeft);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the code page cannot read, or a character cut off at the end: '?', as
            // Windows writes it.
            out += '?';
            ++in;
            --inLeft;
        }
    }
    return out;
}

} // namespace zelsend
