#include "app/command_line.h"

static int IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* ArgumentText(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        // "C:\Tools\horavel.exe"/hide: the arguments start at the quote.
        for (p++; *p != '\0' && *p != '"'; p++) {
        }
        if (*p == '"')
            p++;
    } else {
        while (*p != '\0' && !IsBlank(*p))
            p++;
    }
    while (IsBlank(*p))
        p++;
    return p;
}
