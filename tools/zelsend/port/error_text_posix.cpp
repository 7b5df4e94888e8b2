#include "port/error_text.h"

#include <cerrno>
#include <cstring>

namespace zelsend {

std::string SystemErrorText(int code)
{
    if (code == ECONNREFUSED)
        return "connection refused (is the console listening?)";
    return std::strerror(code);
}

int LastSocketError()
{
    return errno;
}

} // namespace zelsend
