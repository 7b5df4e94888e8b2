#include "net/host_resolver.h"

CString LocalAddressText(CHostResolver& resolver)
{
    // 256 bytes hold any host name; a name cut short would look up something else.
    char name[256] = {};
    if (resolver.GetHostName(name, sizeof name) != 0)
        return CString();
    name[sizeof name - 1] = '\0';

    const hostent* host = resolver.GetHostByName(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return CString();

    in_addr address;
    memcpy(&address, host->h_addr_list[0], sizeof address);
    const char* dotted = ::inet_ntoa(address);
    if (!dotted)
        return CString();
    return CString(dotted, dotted + strlen(dotted));
}
