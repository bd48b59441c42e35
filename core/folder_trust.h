// Whether /install may take over a folder or file it finds where it
// installs: only what administrators alone could have made or changed, so
// that a standard user who made the folder first cannot choose what SYSTEM runs.
#pragma once

#include <stdint.h>

// An entry of the object's DACL; SIDs as text ("S-1-5-32-544").
struct AccessEntry {
    int allows;      // an allow entry (plain or callback); deny entries only narrow
    int inheritOnly; // applies to what is inside, not to the object itself
    uint32_t mask;
    const char* sid;
};

struct FoundObject {
    const char* ownerSid;
    const char* selfSid; // the installing account's own, an elevated administrator
    int hasDacl;         // 0: a NULL DACL, which lets anyone do anything
    const AccessEntry* entries;
    int entryCount;
    int reparsePoint; // a link, a junction, a mount point
    int linkCount;    // hard links of a file
};

// 1 when it may be kept: owned by Administrators, SYSTEM, TrustedInstaller
// or the installer itself, no entry letting anyone else write, add,
// delete children, change attributes, permissions or owner, no link.
int MayAdopt(const FoundObject* found);
