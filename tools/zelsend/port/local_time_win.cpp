#include "port/local_time.h"

namespace zelsend {

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    localtime_s(&local, &t);
    return local;
}

} // namespace zelsend
