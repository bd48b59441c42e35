#include "core/folder_trust.h"

#include <string.h>

#include <stddef.h>

// FILE_WRITE_DATA (add a file), FILE_APPEND_DATA (add a folder),
// FILE_WRITE_EA, FILE_DELETE_CHILD, FILE_WRITE_ATTRIBUTES, WRITE_DAC,
// WRITE_OWNER, GENERIC_ALL and GENERIC_WRITE.
static const uint32_t kChangingRights = 0x500C0156u;

static int Trusted(const char* sid, const char* selfSid) {
    static const char* const kTrusted[] = {
        "S-1-5-32-544",                                                   // Administrators
        "S-1-5-18",                                                       // SYSTEM
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", // TrustedInstaller
    };
    for (const char* trusted : kTrusted)
        if (strcmp(sid, trusted) == 0)
            return 1;
    return selfSid != NULL && strcmp(sid, selfSid) == 0;
}

int MayAdopt(const FoundObject* found) {
    if (found->reparsePoint || found->linkCount > 1 || !found->hasDacl ||
        !Trusted(found->ownerSid, found->selfSid))
        return 0;
    for (int i = 0; i < found->entryCount; i++) {
        const AccessEntry* entry = &found->entries[i];
        if (entry->allows && !entry->inheritOnly && (entry->mask & kChangingRights) != 0 &&
            !Trusted(entry->sid, found->selfSid))
            return 0;
    }
    return 1;
}
