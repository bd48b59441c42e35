#include "app/settings.h"

#include <limits.h>
#include <stdlib.h>

#include <windows.h>

#include "app/system.h"
#include "core/config_path.h"
#include "core/host_list.h"
#include "core/report.h"

const char kSettingsSection[] = "Time Servers";
// Group Policy's values, in the 64-bit view where both builds look.
static const char kPolicyKey[] = "SOFTWARE\\Policies\\Horavel";

extern HINSTANCE programInstance;

char* ExePath(void) {
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        char* path = (char*)malloc(size);
        if (path == NULL)
            return NULL;
        DWORD length = GetModuleFileNameA(programInstance, path, size);
        if (length > 0 && length < size)
            return path;
        free(path); // failed, or cut: then try a larger buffer
        if (length == 0)
            return NULL;
    }
    return NULL;
}

char* ConfigFilePath(const char* exe) {
    size_t iniLength = ConfigPathFor(exe, NULL, 0);
    char* path = (char*)malloc(iniLength + 1);
    if (path != NULL)
        ConfigPathFor(exe, path, iniLength + 1);
    return path;
}

int ReadPolicyNumber(const char* name, int32_t* value) {
    // A number stored as another type is ignored.
    return ReadMachineValue(kPolicyKey, name, REG_DWORD, value, sizeof *value) == ERROR_SUCCESS;
}

// The policy's server list as the INI's section reads ("Host1=ntp:a\0...");
// NULL when there is none.
static char* ReadPolicyHosts(size_t* length) {
    char path[64];
    FormatText(path, sizeof path, "%s\\%s", kPolicyKey, kServersPolicyKey);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
        ERROR_SUCCESS)
        key = NULL;
    char* section = NULL;
    *length = 0;
    for (DWORD i = 0; key != NULL; i++) {
        char name[32], value[1024];
        DWORD nameSize = sizeof name, valueSize = sizeof value - 1, type;
        LONG result = RegEnumValueA(key, i, name, &nameSize, NULL, &type, (BYTE*)value, &valueSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        value[valueSize] = '\0';
        char* grown = (char*)realloc(section, *length + sizeof name + sizeof value + 2);
        if (grown == NULL)
            break;
        section = grown;
        *length +=
            FormatText(section + *length, sizeof name + sizeof value, "%s=%s", name, value) + 1;
        section[*length] = '\0';
    }
    if (key != NULL)
        RegCloseKey(key);
    return section;
}

char* ReadSection(const char* iniPath, size_t* length) {
    for (DWORD size = 4096; size != 0; size *= 2) {
        char* section = (char*)malloc(size);
        if (section == NULL)
            return NULL;
        DWORD read = GetPrivateProfileSectionA(kSettingsSection, section, size, iniPath);
        if (read < size - 2) { // size - 2 means the section did not fit
            *length = read;
            return section;
        }
        free(section);
    }
    return NULL;
}

int ReadNumber(const char* iniPath, const NumberRule* rule) {
    char text[32];
    int32_t policy;
    int set = ReadPolicyNumber(rule->key, &policy);
    GetPrivateProfileStringA(kSettingsSection, rule->key, "", text, sizeof text, iniPath);
    return ChosenNumber(rule, set ? &policy : NULL, text);
}

char* ReadHostSection(const char* iniPath, int* maxHost, size_t* length, int* fromPolicy) {
    char* section = ReadPolicyHosts(length);
    // The policy's list is read whole: MaxHost is for the INI's keys.
    *fromPolicy = section != NULL && NamesAHost(section, *length, INT_MAX);
    if (*fromPolicy) {
        *maxHost = INT_MAX;
        return section;
    }
    free(section);
    return ReadSection(iniPath, length);
}

int NamesAServer(const char* iniPath) {
    size_t length;
    int maxHost = ReadNumber(iniPath, &kMaxHostRule), fromPolicy;
    char* section = ReadHostSection(iniPath, &maxHost, &length, &fromPolicy);
    int named = section != NULL && NamesAHost(section, length, maxHost);
    free(section);
    return named;
}
