// Any argument text: split and read without overrunning a buffer, refused
// exactly when a word is named, and an approved correction read back as it
// was written.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string arguments((const char*)data, size);
    Switches read;
    int known = ReadSwitches(arguments.c_str(), &read);
    if (memchr(read.refused, '\0', sizeof read.refused) == NULL ||
        known != (read.refused[0] == '\0') || (read.clashesWith != NULL && known))
        abort();
    if (known && read.correct) {
        char again[128];
        FormatApprovedArguments(again, sizeof again, &read.approved);
        Switches back;
        if (!ReadSwitches(again, &back) || back.approved.driftMs != read.approved.driftMs ||
            back.approved.hostIndex != read.approved.hostIndex ||
            strcmp(back.approved.address, read.approved.address) != 0)
            abort();
    }
    return 0;
}
