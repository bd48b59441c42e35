#include "core/command_line.h"

#include <limits.h>
#include <string.h>

#include "core/report.h"

static const char kCorrect[] = "/correct:";

static int IsBlank(char c) {
    return c == ' ' || c == '\t';
}

static int IsDigit(char c) {
    return c >= '0' && c <= '9';
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

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// 1 when `name` stands in the arguments as a word of its own, in any case.
static int HasWord(const char* arguments, const char* name) {
    for (const char* p = arguments; *p != '\0';) {
        while (IsBlank(*p))
            p++;
        const char* word = p;
        while (*p != '\0' && !IsBlank(*p))
            p++;
        size_t i = 0;
        while (word + i < p && name[i] != '\0' && Lower(word[i]) == name[i])
            i++;
        if (word + i == p && name[i] == '\0')
            return 1;
    }
    return 0;
}

void ReadSwitches(const char* arguments, Switches* switches) {
    switches->hide = strstr(arguments, "/hide") != NULL;
    switches->check = HasWord(arguments, "/check");
    switches->exitCode = HasWord(arguments, "/exitcode");
    switches->install = HasWord(arguments, "/install");
    switches->uninstall = HasWord(arguments, "/uninstall");
}

size_t FormatApprovedArguments(char* out, size_t size, const ApprovedCorrection* approved) {
    char digits[22];
    int64_t drift = approved->fine ? approved->driftMs : approved->driftMs / 1000;
    return FormatText(out, size, "/hide %s%s%s:%d:%s", kCorrect, DecimalText(drift, digits),
                      approved->fine ? "ms" : "s", approved->hostIndex, approved->address);
}

// Reads up to `limit` decimal digits into *value; the position after them, or NULL.
static const char* ReadNumber(const char* p, int limit, int64_t* value) {
    *value = 0;
    int count = 0;
    for (; IsDigit(*p); p++, count++) {
        if (count == limit)
            return NULL;
        *value = *value * 10 + (*p - '0');
    }
    return count > 0 ? p : NULL;
}

int ReadApprovedCorrection(const char* arguments, ApprovedCorrection* approved) {
    const char* p = strstr(arguments, kCorrect);
    if (p == NULL)
        return 0;
    p += sizeof kCorrect - 1;
    int negative = *p == '-';
    int64_t drift, index;
    p = ReadNumber(p + negative, 15, &drift);
    if (p == NULL)
        return 0;
    int fine = p[0] == 'm' && p[1] == 's';
    p += fine ? 2 : 1;
    if (p[-1] != 's' || *p != ':')
        return 0;
    p = ReadNumber(p + 1, 10, &index);
    if (p == NULL || *p != ':' || index > INT_MAX)
        return 0;
    p++;
    size_t length = 0;
    while (length < sizeof approved->address - 1 && (IsDigit(p[length]) || p[length] == '.'))
        length++;
    if (length == 0 || (p[length] != '\0' && !IsBlank(p[length])))
        return 0;
    approved->driftMs = (negative ? -drift : drift) * (fine ? 1 : 1000);
    approved->fine = fine;
    approved->hostIndex = (int)index;
    memcpy(approved->address, p, length);
    approved->address[length] = '\0';
    return 1;
}
