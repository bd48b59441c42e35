// The entry that /install writes under Windows' Uninstall key, so that Apps
// & features, software inventory and management tools see Horavel and know
// how to remove it.
#pragma once

#include <stddef.h>

enum {
    kAppsTextCount = 7,
    kAppsTextSize = 300, // a path of MAX_PATH characters, quoted, and its switches
};

struct AppsText {
    const char* name;
    char text[kAppsTextSize];
};

// The entry's text values for the program installed as `exe` in `folder`,
// of version `version`. The numbers beside them (NoModify, NoRepair,
// EstimatedSize) are the caller's.
void FormatAppsEntry(const char* folder, const char* exe, const char* version,
                     AppsText texts[kAppsTextCount]);
