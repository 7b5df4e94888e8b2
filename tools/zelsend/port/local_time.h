#pragma once
// The local time of day, for --time stamps: each system has its own thread-safe call for it,
// which differs only in the order of its arguments.
#include <ctime>

namespace zelsend {

// `t` broken down in the local time zone.
inline std::tm LocalTime(std::time_t t)
{
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

} // namespace zelsend
