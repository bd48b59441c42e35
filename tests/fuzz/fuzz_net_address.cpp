// Any host value: read without overrunning a buffer, and any IPv6 literal
// shown in a short form that reads back as the same address.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/net_address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    char name[255];
    memset(name, '#', sizeof name);
    ServerName read = ReadServerName(text.c_str(), name, sizeof name);
    if (memchr(name, '\0', sizeof name) == NULL)
        abort();
    NetAddress literal, again;
    if (read == kServerToResolve && ParseIpv6(name, &literal)) {
        char shown[kAddressTextSize + 1];
        memset(shown, '#', sizeof shown);
        FormatAddress(&literal, shown);
        if (shown[kAddressTextSize] != '#' ||
            !(ParseIpv6(shown, &again) || strchr(shown, ':') == NULL) ||
            (strchr(shown, ':') != NULL && !SameAddress(&literal, &again)))
            abort();
    }
    return 0;
}
