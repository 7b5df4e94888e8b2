#pragma once
// What the soak checks in the view before each clear: every line client's numbered lines whole,
// once and in order, and every unbroken frame whole. Needs no window, so it is tested on the host.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelbench {

// An unbroken frame's text: capital letters A..Z over and over. The numbered lines hold none, so
// the view's runs of capitals are exactly the unbroken frames, whatever line they precede.
std::string UnbrokenLetters(size_t count);

// The view's text (UTF-8) after `clients` clients each sent lines 0 .. linesPerClient - 1 and
// `unbrokenFrames` frames of UnbrokenLetters(unbrokenSize) came between them, read as sent
// (testkit/view_text.h AsSent). Empty when all is there, else what is wrong, in words.
std::string CheckSoakView(std::string_view view, int clients, int64_t linesPerClient, int unbrokenFrames,
                          size_t unbrokenSize);

} // namespace zelbench
