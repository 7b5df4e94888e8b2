#include "port/local_time.h"

namespace zelsend {

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

} // namespace zelsend
