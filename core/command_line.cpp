#include "core/command_line.h"

#include <limits.h>
#include <string.h>

#include "core/report.h"

static const char kCorrect[] = "/correct:";
static const char kScheduled[] = "/scheduled:";
static const char kWarn[] = "/warn:";
static const char kCrit[] = "/crit:";
static const char kTimeout[] = "/timeout:";

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

static void PutChar(char* word, size_t size, size_t* length, char c, size_t count) {
    for (; count > 0; count--, (*length)++)
        if (*length + 1 < size)
            word[*length] = c;
}

// The next word as Windows splits a command line: blanks end it outside
// quotes; 2n backslashes before a quote are n, and the quote opens or closes
// a quoted part; 2n+1 are n and a quote of the word's own; "" inside quotes
// is a quote. Written cut to size - 1; returns its whole length, -1 when
// there are no more words.
static int NextWord(const char** text, char* word, size_t size) {
    const char* p = *text;
    while (IsBlank(*p))
        p++;
    if (*p == '\0')
        return -1;
    size_t length = 0;
    int quoted = 0;
    for (; *p != '\0' && (quoted || !IsBlank(*p)); p++) {
        size_t backslashes = 0;
        while (p[backslashes] == '\\')
            backslashes++;
        if (p[backslashes] != '"') {
            PutChar(word, size, &length, *p, 1);
            continue;
        }
        PutChar(word, size, &length, '\\', backslashes / 2);
        p += backslashes;
        if (backslashes % 2 == 1) {
            PutChar(word, size, &length, '"', 1);
        } else if (quoted && p[1] == '"') {
            PutChar(word, size, &length, '"', 1);
            p++;
        } else {
            quoted = !quoted;
        }
    }
    word[length < size ? length : size - 1] = '\0';
    *text = p;
    return (int)length;
}

// 1 when the word starts with `name`, in any case; *rest is what follows.
static int StartsWith(const char* word, const char* name, const char** rest) {
    for (; *name != '\0'; word++, name++)
        if (Lower(*word) != *name)
            return 0;
    *rest = word;
    return 1;
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

// "DRIFT:INDEX:ADDRESS" of /correct:, the whole rest of its word.
static int ReadApproved(const char* p, ApprovedCorrection* approved) {
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
    while (length < sizeof approved->address - 1 && p[length] != '\0' &&
           strchr("0123456789abcdefABCDEF.:", p[length]) != NULL)
        length++;
    if (length == 0 || p[length] != '\0')
        return 0;
    approved->driftMs = (negative ? -drift : drift) * (fine ? 1 : 1000);
    approved->fine = fine;
    approved->hostIndex = (int)index;
    memcpy(approved->address, p, length + 1);
    return 1;
}

// Seconds with up to three decimals ("0.5", "60") into *ms; 1 when the text
// is that and nothing more.
static int ReadThreshold(const char* p, int* ms) {
    int64_t seconds, fraction = 0;
    p = ReadNumber(p, 6, &seconds);
    if (p == NULL)
        return 0;
    int decimals = 0;
    if (*p == '.' && IsDigit(p[1]))
        for (p++; IsDigit(*p) && decimals < 3; p++, decimals++)
            fraction = fraction * 10 + (*p - '0');
    for (; decimals < 3; decimals++)
        fraction *= 10;
    *ms = (int)(seconds * 1000 + fraction);
    return *p == '\0';
}

// The switches that choose what kind of run this is: one at most.
struct Mode {
    const char* name;
    size_t field;
};

static const Mode kModes[] = {
    {"/install", offsetof(Switches, install)},
    {"/uninstall", offsetof(Switches, uninstall)},
    {"/check", offsetof(Switches, check)},
    {kCorrect, offsetof(Switches, correct)},
};

static int* Field(Switches* switches, size_t field) {
    return (int*)((char*)switches + field);
}

// 1 when a switch of ours other than /hide is written anywhere in the
// word, in any case: glued to /hide ("/check/hide"), it must not vanish.
static int HoldsAnotherSwitch(const char* word) {
    static const char* const kOthers[] = {"/check", "/install", "/uninstall", "/exitcode", kWarn,
                                          kCrit,    kScheduled, kCorrect,     kTimeout};
    const char* rest;
    for (; *word != '\0'; word++)
        for (const char* other : kOthers)
            if (StartsWith(word, other, &rest))
                return 1;
    return 0;
}

// Notes a word known or refused; 1 when known.
static int ReadWord(const char* word, Switches* switches) {
    const char* rest;
    if (strstr(word, "/hide") != NULL) {
        switches->hide = 1;
        return !HoldsAnotherSwitch(word);
    }
    if (*word != '/' && *word != '-')
        return 1; // not a switch: ignored, as it always was
    if (StartsWith(word, "/hide", &rest) && *rest == '\0')
        return 1; // /HIDE is known, and keeps the interactive run it always meant
    if (StartsWith(word, "/exitcode", &rest) && *rest == '\0') {
        switches->exitCode = 1;
        return 1;
    }
    for (const Mode& mode : kModes) {
        if (!StartsWith(word, mode.name, &rest))
            continue;
        if (mode.field == offsetof(Switches, correct) ? !ReadApproved(rest, &switches->approved)
                                                      : *rest != '\0')
            break;
        for (const Mode& other : kModes)
            if (*Field(switches, other.field) && other.field != mode.field)
                switches->clashesWith = other.name;
        *Field(switches, mode.field) = 1;
        return switches->clashesWith == NULL;
    }
    int* threshold = StartsWith(word, kWarn, &rest)   ? &switches->warnMs
                     : StartsWith(word, kCrit, &rest) ? &switches->critMs
                                                      : NULL;
    if (threshold != NULL) {
        switches->thresholds = 1;
        return ReadThreshold(rest, threshold);
    }
    int64_t seconds;
    if (StartsWith(word, kScheduled, &rest) && (rest = ReadNumber(rest, 5, &seconds)) != NULL &&
        *rest == '\0' && seconds > 0 && seconds <= kScheduledMostSeconds) {
        switches->scheduledSeconds = (int)seconds;
        return 1;
    }
    if (StartsWith(word, kTimeout, &rest)) {
        switches->thresholds = 1; // a word for a monitoring system, as the thresholds
        switches->timeoutSeconds = -1;
        if ((rest = ReadNumber(rest, 5, &seconds)) == NULL || *rest != '\0' || seconds < 1 ||
            seconds > kTimeoutMostSeconds)
            return 0;
        switches->timeoutSeconds = (int)seconds;
        return 1;
    }
    return 0;
}

int ReadSwitches(const char* arguments, Switches* switches) {
    memset(switches, 0, sizeof *switches);
    switches->warnMs = switches->critMs = -1;
    char word[160];
    for (int length; (length = NextWord(&arguments, word, sizeof word)) >= 0;) {
        // A word too long to read whole is no switch of ours.
        if ((size_t)length < sizeof word && ReadWord(word, switches))
            continue;
        switches->refusal = switches->clashesWith != NULL ? kRefusedClash : kRefusedUnknown;
        FormatText(switches->refused, sizeof switches->refused,
                   (size_t)length < sizeof switches->refused ? "%s" : "%.68s...", word);
        return 0;
    }
    if (switches->thresholds && !switches->check)
        switches->refusal = kRefusedWithoutCheck;
    else if (switches->critMs >= 0 && switches->warnMs > switches->critMs)
        switches->refusal = kRefusedWarnAboveCrit;
    else
        return 1;
    FormatText(switches->refused, sizeof switches->refused, "%s",
               switches->refusal == kRefusedWithoutCheck && switches->timeoutSeconds > 0 ? kTimeout
               : switches->warnMs >= 0                                                   ? kWarn
                                                                                         : kCrit);
    return 0;
}

size_t FormatApprovedArguments(char* out, size_t size, const ApprovedCorrection* approved) {
    char digits[22];
    int64_t drift = approved->fine ? approved->driftMs : approved->driftMs / 1000;
    return FormatText(out, size, "/hide %s%s%s:%d:%s", kCorrect, DecimalText(drift, digits),
                      approved->fine ? "ms" : "s", approved->hostIndex, approved->address);
}
