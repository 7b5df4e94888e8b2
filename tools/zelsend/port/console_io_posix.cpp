#include "port/console_io.h"

#include <unistd.h>

#include <cerrno>

namespace zelsend {

// The arguments come as the terminal or the script wrote them: UTF-8 on today's systems.
std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

unsigned StdinCodePage(unsigned piped)
{
    return piped != 0 ? piped : 65001;
}

long ReadStdin(char* buffer, size_t size)
{
    const size_t chunk = size > 65536 ? 65536 : size;
    for (;;) {
        const ssize_t n = read(0, buffer, chunk);
        if (n >= 0 || errno != EINTR)
            return static_cast<long>(n);
    }
}

} // namespace zelsend
