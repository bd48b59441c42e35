// The entry that /install writes under Windows' Uninstall key, so that Apps
// & features, software inventory and management tools see Horavel and know
// how to remove it.
#pragma once

#include <stddef.h>

enum {
    kAppsMostTexts = 10,
    kAppsTextSize = 300, // a path of MAX_PATH characters, quoted, and its switches
};

struct AppsText {
    const char* name;
    char text[kAppsTextSize];
};

struct AppsFacts {
    const char* folder;      // where it is installed
    const char* exe;         // the installed exe
    const char* version;     // "1.0.0"
    const char* publisher;   // as the version information's CompanyName
    const char* url;         // the project's page, "" for none
    const char* installDate; // yyyymmdd, as Apps & features reads it
};

// The entry's text values; their count. The numbers beside them (NoModify,
// NoRepair, EstimatedSize, VersionMajor, VersionMinor) are the caller's.
int FormatAppsEntry(const AppsFacts* facts, AppsText texts[kAppsMostTexts]);
