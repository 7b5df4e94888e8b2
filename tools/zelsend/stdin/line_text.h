#pragma once
// A line of standard input as the text of its frame.
#include <string>
#include <string_view>

namespace zelsend {

// The text a line of standard input stands for: the line without its newline (and a CR
// before it, left by Windows editors), plus CR LF when the user asked for line breaks.
std::string LineToText(std::string_view line, bool addCrlf);

} // namespace zelsend
