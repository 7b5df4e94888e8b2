#pragma once
// UTF-8 that the console accepts, from text that may not be: the console shows nothing of a
// frame that is not valid UTF-8, so anything invalid becomes U+FFFD and the rest still shows.
#include <string>
#include <string_view>

namespace zelsend {

// Valid UTF-8 stays as it is; each invalid byte, overlong form, surrogate or code point past
// U+10FFFF becomes U+FFFD.
std::string RepairUtf8(std::string_view bytes);

// UTF-16 (little- or big-endian) as UTF-8; an unpaired surrogate or an odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

} // namespace zelsend
