#include "core/config_path.h"

#include <string.h>

struct PathText {
    char* out;
    size_t size;
    size_t length;
};

static void Append(PathText* path, const char* text, size_t count) {
    for (size_t i = 0; i < count; i++, path->length++)
        if (path->length + 1 < path->size)
            path->out[path->length] = text[i];
}

size_t ConfigPathFor(const char* exePath, char* out, size_t size) {
    // Split as drive, directory (up to its last separator, so it needs none
    // added), base name and extension (from the name's last dot).
    const char* drive = exePath;
    size_t driveLength = exePath[0] != '\0' && exePath[1] == ':' ? 2 : 0;
    const char* directory = exePath + driveLength;
    const char* name = directory;
    for (const char* p = directory; *p != '\0'; p++)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    size_t directoryLength = (size_t)(name - directory);
    const char* extension = strrchr(name, '.');
    size_t nameLength = extension != NULL ? (size_t)(extension - name) : strlen(name);

    PathText path = {out, size, 0};
    Append(&path, drive, driveLength);
    Append(&path, directory, directoryLength);
    Append(&path, name, nameLength);
    Append(&path, ".ini", 4);
    if (size > 0)
        out[path.length < size ? path.length : size - 1] = '\0';
    return path.length;
}
