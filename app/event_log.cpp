#include "app/event_log.h"

#include <windows.h>

#include "core/report.h"

static WORD EventType(EventId id) {
    if (id == kEventNoAnswer || id == kEventDisagree || id == kEventDriftWarning ||
        id == kEventCorrectors)
        return EVENTLOG_WARNING_TYPE;
    if (id == kEventNotSet || id == kEventNoNetwork || id == kEventStepTooLarge ||
        id == kEventNothingToAsk || id == kEventInstallFailed || id == kEventRefused ||
        id == kEventDriftCritical)
        return EVENTLOG_ERROR_TYPE;
    return EVENTLOG_INFORMATION_TYPE;
}

void SystemErrorText(unsigned long error, char* out, int size) {
    if (HRESULT_FACILITY(error) == FACILITY_WIN32)
        error = HRESULT_CODE(error); // the system's text is for the Windows error it carries
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  error, 0, out, (DWORD)size, NULL);
    if (length == 0)
        FormatText(out, (size_t)size, "?");
    while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n'))
        out[--length] = '\0';
}

// The event's text first, which Event Viewer shows; then, as data to filter
// forwarded events by, the host as written, its address, the protocol and
// the drift in ms, server minus PC ("+90250"); "" where there is none.
void LogEvent(EventId id, const EventFacts* facts) {
    EventFacts told = *facts;
    char errorText[256] = "";
    if (told.error != 0)
        SystemErrorText(told.error, errorText, sizeof errorText);
    told.errorText = errorText;
    char text[kEventTextSize], digits[22], drift[24] = "", samples[16] = "", roundTrip[24] = "";
    FormatEventText(text, sizeof text, id, &told);
    int answered = told.protocol[0] != '\0';
    if (answered) {
        FormatText(drift, sizeof drift, "%s%s", told.answer.driftMs > 0 ? "" : "+",
                   DecimalText(-told.answer.driftMs, digits));
        // Appended, so that no earlier string moves: the samples taken, the kept one's round trip.
        FormatText(samples, sizeof samples, "%d", told.samples > 1 ? told.samples : 1);
        FormatText(roundTrip, sizeof roundTrip, "%s", DecimalText(told.answer.roundTripMs, digits));
    }
    const char* strings[] = {text,
                             told.hostText,
                             told.hostAddress,
                             !answered ? "" : told.answer.fine ? "SNTP" : "RFC 868",
                             drift,
                             samples,
                             roundTrip};
    LogStrings(id, strings, 7);
}

void LogText(EventId id, const char* text) {
    LogStrings(id, &text, 1);
}

void LogStrings(EventId id, const char* const* strings, int count) {
    // Registered or not, the source writes: Event Viewer then prefaces the
    // text with its note that the description cannot be found.
    HANDLE log = RegisterEventSourceA(NULL, "Horavel");
    if (log == NULL)
        return;
    ReportEventA(log, EventType(id), 0, id, NULL, (WORD)count, 0, (const char**)strings, NULL);
    DeregisterEventSource(log);
}
