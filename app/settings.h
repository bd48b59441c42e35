// Where the program and its configuration are, and the configuration's
// reads: Group Policy's values (HKLM\SOFTWARE\Policies\Horavel) where they
// are set, else the INI's through the profile calls. Win32.
#pragma once

#include <stddef.h>
#include <stdint.h>

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

// A number of the policy's where it sets one, else of the INI, under its key's rule.
int ReadNumber(const char* iniPath, const NumberRule* rule);

// 1 and *value when Group Policy sets `name` as a number.
int ReadPolicyNumber(const char* name, int32_t* value);

// The host keys a run asks, as the INI's section reads, for free(): the
// policy's list when it names a server (replacing the INI's, not merged,
// and read whole: *maxHost becomes INT_MAX), else the INI's section below
// *maxHost. *fromPolicy says which.
char* ReadHostSection(const char* iniPath, int* maxHost, size_t* length, int* fromPolicy);

// 1 when the policy or the INI names a server a run would ask.
int NamesAServer(const char* iniPath);
