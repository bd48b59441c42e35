// The configuration path of any executable path, into buffers of any size.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/config_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    size_t small = data[0];
    std::string exePath((const char*)data + 1, size - 1);
    exePath = exePath.c_str(); // up to the first zero, as the platform gives it

    size_t length = ConfigPathFor(exePath.c_str(), NULL, 0);
    std::vector<char> path(length + 1, '#');
    if (ConfigPathFor(exePath.c_str(), path.data(), path.size()) != length)
        abort();
    if (strlen(path.data()) != length || length < 4 || memcmp(path.data() + length - 4, ".ini", 4))
        abort();
    if (length > exePath.size() + 4)
        abort();

    std::vector<char> cut(small + 1, '#');
    ConfigPathFor(exePath.c_str(), cut.data(), small);
    if (small > 0 && (strlen(cut.data()) >= small || strncmp(cut.data(), path.data(), small - 1)))
        abort();
    if (cut[small] != '#')
        abort();
    return 0;
}
