#pragma once
// The text of one OutputDebugString message as the console shows it.
#include "common/line_rules.h"
#include "port/text_decoder.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zelsend {

// `ansi` is the message as the buffer held it, up to its terminating zero, in the ANSI code page
// `decoder` converts from. The result is UTF-8 in which every line ends with CR LF: a lone LF
// becomes CR LF, and a message without a line end gets one, since debug output mostly comes
// without. `prefix` (empty, or "[1234 app.exe] " for --pid) goes in front of every line, and
// `stamp` (--time) in front of that. Lines that `rules` leaves out are not in the result.
std::string DebugOutputText(std::string_view ansi, const TextDecoder& decoder, std::string_view prefix,
                            const LineRules& rules = LineRules(), std::string_view stamp = {});

// "[1234 app.exe] ": the writer's process id and the file name of its exe ("?" when unknown).
std::string ProcessPrefix(uint32_t pid, std::string_view exeName);

} // namespace zelsend
