#include "app/settings.h"

#include <stdlib.h>

#include <windows.h>

#include "core/config_path.h"
#include "core/host_list.h"

const char kSettingsSection[] = "Time Servers";

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
    GetPrivateProfileStringA(kSettingsSection, rule->key, "", text, sizeof text, iniPath);
    return NumberSetting(rule, text);
}

int IniNamesAHost(const char* iniPath) {
    size_t length;
    char* section = ReadSection(iniPath, &length);
    int named = section != NULL && NamesAHost(section, length, ReadNumber(iniPath, &kMaxHostRule));
    free(section);
    return named;
}
