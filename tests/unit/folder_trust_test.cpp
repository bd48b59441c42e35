#include "core/folder_trust.h"

#include <gtest/gtest.h>

namespace {

const char kAdministrators[] = "S-1-5-32-544";
const char kSystem[] = "S-1-5-18";
const char kUsers[] = "S-1-5-32-545";
const char kSelf[] = "S-1-5-21-1-2-3-500";
const char kAlice[] = "S-1-5-21-1-2-3-1001";
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// What an install found, and whether it may take it over: only what
// administrators alone could have made or changed.
TEST(MayAdopt, OnlyWhatAdministratorsAloneCouldChange) {
    const uint32_t kFullControl = 0x1F01FF, kReadExecute = 0x1200A9;
    const AccessEntry ours[] = {{1, 0, kFullControl, kSystem},
                                {1, 0, kFullControl, kAdministrators},
                                {1, 0, kReadExecute, kUsers}};
    const struct {
        const char* what;
        const char* owner;
        int hasDacl;
        AccessEntry extra; // beside ours; mask 0 for none
        int reparsePoint, links;
        int adopted;
    } cases[] = {
        {"ours", kAdministrators, 1, {}, 0, 1, 1},
        {"owned by SYSTEM", kSystem, 1, {}, 0, 1, 1},
        {"owned by TrustedInstaller", kTrustedInstaller, 1, {}, 0, 1, 1},
        {"owned by the installer", kSelf, 1, {1, 0, kFullControl, kSelf}, 0, 1, 1},
        {"owned by a user", kAlice, 1, {}, 0, 1, 0},
        {"owned by Users", kUsers, 1, {}, 0, 1, 0},
        {"a NULL DACL", kAdministrators, 0, {}, 0, 1, 0},
        {"a junction", kAdministrators, 1, {}, 1, 1, 0},
        {"a second hard link", kAdministrators, 1, {}, 0, 2, 0},
        {"a user may add files", kAdministrators, 1, {1, 0, 0x2, kAlice}, 0, 1, 0},
        {"a user may add folders", kAdministrators, 1, {1, 0, 0x4, kAlice}, 0, 1, 0},
        {"a user may delete children", kAdministrators, 1, {1, 0, 0x40, kAlice}, 0, 1, 0},
        {"a user may change attributes", kAdministrators, 1, {1, 0, 0x100, kUsers}, 0, 1, 0},
        {"a user may change permissions", kAdministrators, 1, {1, 0, 0x40000, kAlice}, 0, 1, 0},
        {"a user may take ownership", kAdministrators, 1, {1, 0, 0x80000, kAlice}, 0, 1, 0},
        {"generic write", kAdministrators, 1, {1, 0, 0x40000000, kUsers}, 0, 1, 0},
        {"generic all", kAdministrators, 1, {1, 0, 0x10000000, kUsers}, 0, 1, 0},
        {"inherit-only write", kAdministrators, 1, {1, 1, kFullControl, kAlice}, 0, 1, 1},
        {"a deny entry", kAdministrators, 1, {0, 0, kFullControl, kAlice}, 0, 1, 1},
        {"a user may read and delete",
         kAdministrators,
         1,
         {1, 0, 0x1200A9 | 0x10000, kAlice},
         0,
         1,
         1},
    };
    for (const auto& c : cases) {
        AccessEntry entries[4] = {ours[0], ours[1], ours[2], c.extra};
        FoundObject found = {c.owner,        kSelf,  c.hasDacl, entries, c.extra.mask ? 4 : 3,
                             c.reparsePoint, c.links};
        EXPECT_EQ(MayAdopt(&found), c.adopted) << c.what;
    }
    // Without knowing the installer, its own SID is nobody's.
    FoundObject unknownSelf = {kSelf, nullptr, 1, ours, 3, 0, 1};
    EXPECT_EQ(MayAdopt(&unknownSelf), 0);
}

} // namespace
