#include "app/event_log.h"

#include <windows.h>

static WORD EventType(EventId id) {
    if (id == kEventNoAnswer || id == kEventDisagree)
        return EVENTLOG_WARNING_TYPE;
    if (id == kEventNotSet || id == kEventNoNetwork || id == kEventStepTooLarge ||
        id == kEventNothingToAsk || id == kEventInstallFailed || id == kEventRefused)
        return EVENTLOG_ERROR_TYPE;
    return EVENTLOG_INFORMATION_TYPE;
}

void SystemErrorText(unsigned long error, char* out, int size) {
    if (HRESULT_FACILITY(error) == FACILITY_WIN32)
        error = HRESULT_CODE(error); // the system's text is for the Windows error it carries
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error, 0, out, (DWORD)size, NULL);
    if (length == 0)
        wsprintfA(out, "no text for this error.");
    while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n'))
        out[--length] = '\0';
}

void LogEvent(EventId id, const EventFacts* facts) {
    EventFacts told = *facts;
    char errorText[256] = "";
    if (told.error != 0)
        SystemErrorText(told.error, errorText, sizeof errorText);
    told.errorText = errorText;
    char text[kEventTextSize];
    FormatEventText(text, sizeof text, id, &told);
    LogText(id, text);
}

void LogText(EventId id, const char* text) {
    // Registered or not, the source writes: Event Viewer then prefaces the
    // text with its note that the description cannot be found.
    HANDLE log = RegisterEventSourceA(NULL, "Horavel");
    if (log == NULL)
        return;
    const char* strings[] = {text};
    ReportEventA(log, EventType(id), 0, id, NULL, 1, 0, strings, NULL);
    DeregisterEventSource(log);
}
