// The hosts of any section text, below any MaxHost.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "core/host_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    int32_t maxHost;
    memcpy(&maxHost, data, 4);
    const char* section = (const char*)data + 4;
    size_t length = size - 4;

    size_t count;
    HostEntry* hosts = ListHosts(section, length, maxHost, &count);
    if ((hosts == NULL) != (count == 0))
        abort();
    for (size_t i = 0; i < count; i++) {
        const HostEntry& host = hosts[i];
        if (host.index < 0 || host.index >= maxHost || (i > 0 && host.index <= hosts[i - 1].index))
            abort();
        if (host.value < section || host.value + host.length > section + length)
            abort();
        char value[255];
        memset(value, '#', sizeof value);
        CopyHostValue(&host, value, sizeof value);
        if (memchr(value, '\0', sizeof value) == NULL)
            abort();
    }
    free(hosts);
    return 0;
}
