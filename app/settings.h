// Where the program and its configuration are, and the configuration's
// reads through the profile calls. Win32.
#pragma once

#include <stddef.h>

#include "core/setting_rules.h"

// The section every key is in.
extern const char kSettingsSection[];

// The executable's path, however long, for free(); NULL when the platform cannot tell.
char* ExePath(void);

// The executable's path with its extension replaced by "ini", for free().
char* ConfigFilePath(const char* exePath);

// The whole section of the INI in one read, however large, for free(); NULL
// when memory runs out. A missing file or section reads as empty.
char* ReadSection(const char* iniPath, size_t* length);

// A number of the INI, under its key's rule.
int ReadNumber(const char* iniPath, const NumberRule* rule);

// 1 when the INI names a server a run would ask.
int IniNamesAHost(const char* iniPath);
