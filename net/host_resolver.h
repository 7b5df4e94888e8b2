#pragma once
// The machine's own IPv4 address as text, for pointing clients at the console.
#include <winsock2.h>

#include "platform/cstring.h"

// The two name-service calls the lookup makes; tests stand in for the machine's.
class CHostResolver {
public:
    virtual ~CHostResolver() = default;
    virtual int GetHostName(char* name, int size) { return ::gethostname(name, size); }
    virtual hostent* GetHostByName(const char* name) { return ::gethostbyname(name); }
};

// The first IPv4 address the host name resolves to, in dotted decimal; "" when the name cannot
// be had, does not resolve, or resolves to no IPv4 address.
CString LocalAddressText(CHostResolver& resolver);
