#pragma once
// The local time of day, for --time stamps: each system has its own thread-safe call for it.
#include <ctime>

namespace zelsend {

// `t` broken down in the local time zone.
std::tm LocalTime(std::time_t t);

} // namespace zelsend
