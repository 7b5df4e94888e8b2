#pragma once
// UTF-8 that the console shows whole, from text that may not be. The console shows nothing of a
// frame that is not valid UTF-8 and ends its text at a zero byte, so every bridge repairs its
// text with the one rule here before it is framed.
#include <string>
#include <string_view>

namespace zelsend {

// Valid UTF-8 stays as it is. Each maximal part of an invalid sequence becomes one U+FFFD, as
// Unicode recommends, so a Latin-1 "é" shows as one mark, not as two or none; overlong forms,
// surrogates and code points past U+10FFFF are invalid. A NUL becomes U+FFFD too: the console
// would end the text there, and a space would hide that the writer put something unprintable in.
std::string RepairUtf8(std::string_view bytes);
void AppendRepairedUtf8(std::string& out, std::string_view bytes);

// The length of `text` without a sequence cut off at its end, so that text cut at a bound loses
// the whole last character rather than showing a mark for half of it.
size_t WithoutCutSequence(std::string_view text);

// UTF-16 (little- or big-endian) as UTF-8, by the same rule: an unpaired surrogate, a zero code
// unit and an odd last byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

} // namespace zelsend
