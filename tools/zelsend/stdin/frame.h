#pragma once
// The console's wire format: a 4-byte little-endian signed length, then that many bytes of UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace zelsend {

// Largest text the console takes in one frame: it closes the connection of a client that
// announces more, and shows nothing of that frame or any after it.
constexpr size_t kMaxFrameText = 16 * 1024 * 1024;

// Appends one frame carrying `text` to `out`; lets the bench batch many frames into one send.
// Throws std::length_error past kMaxFrameText.
void AppendFrame(std::string& out, std::string_view text);

std::string EncodeFrame(std::string_view text);

// The text a line of standard input stands for: the line without its newline (and a CR
// before it, left by Windows editors), plus CR LF when the user asked for line breaks.
std::string LineToText(std::string_view line, bool addCrlf);

} // namespace zelsend
