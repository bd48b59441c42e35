#include "core/task_definition.h"

#include "core/local_time.h"
#include "core/report.h"

// The XML as it is written: cut to fit out, but counted whole. The markup
// closes each element with "}" rather than its end tag, which is written
// out here: the task's XML takes a third less room in the exe.
struct XmlText {
    char* out;
    size_t size;
    size_t length;
    const char* open[8]; // the names of the elements open, innermost last
    int depth;
};

static void PutChar(XmlText* text, char c) {
    if (text->length + 1 < text->size) {
        text->out[text->length] = c;
        text->out[text->length + 1] = '\0';
    }
    text->length++;
}

static void PutText(XmlText* text, const char* s) {
    while (*s != '\0')
        PutChar(text, *s++);
}

// Markup, its "}" written as the end tag it stands for.
static void PutMarkup(XmlText* text, const char* s) {
    for (; *s != '\0'; s++) {
        if (*s == '<' && text->depth < 8)
            text->open[text->depth++] = s + 1;
        if (*s != '}' || text->depth == 0) {
            PutChar(text, *s);
            continue;
        }
        PutText(text, "</");
        for (const char* name = text->open[--text->depth]; *name != ' ' && *name != '>'; name++)
            PutChar(text, *name);
        PutChar(text, '>');
    }
}

// A value, with the five characters XML gives a meaning escaped.
static void PutValue(XmlText* text, const char* s) {
    for (; *s != '\0'; s++) {
        const char* escaped = *s == '&'    ? "&amp;"
                              : *s == '<'  ? "&lt;"
                              : *s == '>'  ? "&gt;"
                              : *s == '"'  ? "&quot;"
                              : *s == '\'' ? "&apos;"
                                           : NULL;
        if (escaped == NULL)
            PutChar(text, *s);
        else
            PutText(text, escaped);
    }
}

// A duration in the schema's form: PT1H, PT15M, PT24H, PT1H30M.
static void FormatDuration(char* out, size_t size, int minutes) {
    if (minutes % 60 == 0)
        FormatText(out, size, "PT%dH", minutes / 60);
    else if (minutes > 60)
        FormatText(out, size, "PT%dH%dM", minutes / 60, minutes % 60);
    else
        FormatText(out, size, "PT%dM", minutes);
}

// The events that start a run, as event queries; escaped once more inside
// the Subscription element: a resume from sleep, a network connected.
static const char kResumeQuery[] =
    "<QueryList><Query Id=\"0\"><Select Path=\"System\">"
    "*[System[Provider[@Name='Microsoft-Windows-Power-Troubleshooter'] and EventID=1]]"
    "</Select></Query></QueryList>";
static const char kNetworkQuery[] =
    "<QueryList><Query Id=\"0\"><Select Path=\"Microsoft-Windows-NetworkProfile/Operational\">"
    "*[System[EventID=10000]]" // the channel is the provider's own
    "</Select></Query></QueryList>";

size_t FormatTaskXml(char* out, size_t size, const TaskDefinition* task) {
    char interval[24], start[24];
    FormatDuration(interval, sizeof interval, task->runEveryMinutes);
    TimeFields f = {};
    TimeToFields(task->startBoundary, &kUtcRules, &f); // always a date: the build's
    FormatText(start, sizeof start, "%04d-%02d-%02dT%02d:%02d:%02dZ", f.year, f.month, f.day,
               f.hour, f.minute, f.second);
    // Markup, then a value to escape, in turn; no line breaks or indentation,
    // which would only take room in the exe, and "}" for each end tag. Each event trigger waits a
    // minute, for the network and its names to come back.
    const char* parts[] = {
        "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
        "<RegistrationInfo>"
        "<Description>Sets the PC clock from the time servers of horavel.ini.}"
        "<Version>",
        task->version,
        "}}"
        "<Triggers>"
        "<BootTrigger><Delay>PT1M}}"
        "<TimeTrigger><StartBoundary>",
        start,
        "}<Repetition><Interval>",
        interval,
        "}}<RandomDelay>PT10M}}"
        "<EventTrigger><Subscription>",
        kResumeQuery,
        "}<Delay>PT1M}}"
        "<EventTrigger><Subscription>",
        kNetworkQuery,
        "}<Delay>PT1M}}"
        "}"
        "<Principals><Principal id=\"S\">"
        "<UserId>S-1-5-18}"
        "<RunLevel>HighestAvailable}"
        "}}"
        "<Settings>" // never two runs at once: IgnoreNew, the default
        "<DisallowStartIfOnBatteries>false}"
        "<StopIfGoingOnBatteries>false}"
        "<StartWhenAvailable>true}"
        "<RunOnlyIfNetworkAvailable>true}"
        "<ExecutionTimeLimit>PT15M}"
        "<Priority>5}"
        "}"
        "<Actions Context=\"S\"><Exec><Command>",
        task->command,
        "}<Arguments>/hide /exitcode /scheduled:720}"
        "}}"
        "}",
    };
    XmlText text = {out, size, 0, {}, 0};
    if (size > 0)
        out[0] = '\0';
    for (size_t i = 0; i < sizeof parts / sizeof parts[0]; i++)
        (i % 2 ? PutValue : PutMarkup)(&text, parts[i]);
    return text.length;
}

int ScheduledWaitMostSeconds(int deadlineSeconds) {
    return deadlineSeconds / 2 < kScheduledWaitMostSeconds ? deadlineSeconds / 2
                                                           : kScheduledWaitMostSeconds;
}
