#include "app/event_log.h"

#include <windows.h>

static WORD EventType(EventId id) {
    if (id == kEventNoAnswer)
        return EVENTLOG_WARNING_TYPE;
    if (id == kEventNotSet || id == kEventNoNetwork)
        return EVENTLOG_ERROR_TYPE;
    return EVENTLOG_INFORMATION_TYPE;
}

void LogEvent(EventId id, const EventFacts* facts) {
    EventFacts told = *facts;
    char errorText[256] = "";
    if (told.error != 0) {
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      NULL, told.error, 0, errorText, sizeof errorText, NULL);
        while (length > 0 && (errorText[length - 1] == '\r' || errorText[length - 1] == '\n'))
            errorText[--length] = '\0';
    }
    told.errorText = errorText;
    char text[kEventTextSize];
    FormatEventText(text, sizeof text, id, &told);
    // Registered or not, the source writes: Event Viewer then prefaces the
    // text with its note that the description cannot be found.
    HANDLE log = RegisterEventSourceA(NULL, "Horavel");
    if (log == NULL)
        return;
    const char* strings[] = {text};
    ReportEventA(log, EventType(id), 0, id, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(log);
}
