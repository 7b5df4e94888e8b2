#include "net/host_resolver.h"

#include <cstring>

CString LocalAddressText(CHostResolver& resolver)
{
    // 256 bytes hold any host name. A name that does not fit is not looked up: cut short,
    // it would name another host.
    char name[256] = {};
    if (resolver.GetHostName(name, sizeof name) != 0 || !memchr(name, '\0', sizeof name))
        return CString();

    const hostent* host = resolver.GetHostByName(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list || !host->h_addr_list[0])
        return CString();

    in_addr address;
    memcpy(&address, host->h_addr_list[0], sizeof address);
    const char* dotted = ::inet_ntoa(address);
    if (!dotted)
        return CString();
    return CString(dotted, dotted + strlen(dotted));
}
