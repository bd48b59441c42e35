#include "app/report.h"

#include <stdarg.h>
#include <stdio.h>

struct ReportText {
    char* out;
    size_t size;
    size_t length;
};

static void Appendf(ReportText* text, const char* format, ...) {
    if (text->length + 1 >= text->size)
        return;
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text->out + text->length, text->size - text->length, format, args);
    va_end(args);
    if (written > 0)
        text->length += (size_t)written;
    if (text->length >= text->size)
        text->length = text->size - 1;
    text->out[text->length] = '\0';
}

// A 64-bit count in decimal, without the C runtime's printf, which on older
// Windows knows no 64-bit conversion; `out` holds 21 characters and the end.
static const char* Decimal(uint64_t magnitude, int negative, char* out) {
    char* p = out + 21;
    *p = '\0';
    do {
        *--p = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        *--p = '-';
    return p;
}

static uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
}

static void AppendTimeLine(ReportText* text, const char* label, const TimeFields* f) {
    Appendf(text, "%s:  %02d/%02d/%04d     %02d:%02d:%02d\n", label, f->day, f->month, f->year,
            f->hour, f->minute, f->second);
}

size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    int64_t drift) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0};
    out[0] = '\0';
    AppendTimeLine(&text, "Horavel ", server);
    if (pc != NULL)
        AppendTimeLine(&text, "PC  Time ", pc);
    else
        Appendf(&text, "PC  Time :  --/--/----     --:--:--\n");
    char digits[22];
    if (drift != 0)
        Appendf(&text, "\nYour PC's clock has  %s seconds drift !\nDo you want to fix it ?\n",
                Decimal(Magnitude(drift), drift < 0, digits));
    else
        Appendf(&text, "\nYour PC's clock needs no correction...\n");
    return text.length;
}

size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0};
    out[0] = '\0';
    Appendf(&text, "Host Address : %s", dottedAddress);
    return text.length;
}

static void AppendUtc(ReportText* text, const char* label, int64_t t) {
    TimeFields f;
    if (!TimeToFields(t, &kUtcRules, &f)) { // -1: the clock could not be read
        Appendf(text, "\r\n%s: unknown", label);
        return;
    }
    Appendf(text, "\r\n%s: %04d-%02d-%02dT%02d:%02d:%02dZ", label, f.year, f.month, f.day, f.hour,
            f.minute, f.second);
}

static void AppendDrift(ReportText* text, int64_t drift) {
    char digits[22];
    uint64_t seconds = Magnitude(drift);
    Appendf(text, "%s second%s %s the time server.", Decimal(seconds, 0, digits),
            seconds == 1 ? "" : "s", drift > 0 ? "ahead of" : "behind");
}

size_t FormatEventText(char* out, size_t size, EventId id, const EventFacts* facts) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0};
    out[0] = '\0';
    if (id == kEventNoAnswer) {
        Appendf(&text, "No time server answered: %d server%s asked, %d ms each.", facts->hostsAsked,
                facts->hostsAsked == 1 ? "" : "s", facts->timeoutMs);
        return text.length;
    }
    if (id == kEventNoNetwork) {
        Appendf(&text, "No time server was asked: the network could not be used.");
        Appendf(&text, "\r\nError %lu: %s", facts->error, facts->errorText);
        return text.length;
    }
    if (id == kEventNoCorrection) {
        Appendf(&text, "Clock checked: the PC clock agrees with the time server to the second.");
    } else if (id == kEventCorrected) {
        Appendf(&text, "Clock corrected: the PC clock was ");
        AppendDrift(&text, facts->drift);
    } else {
        Appendf(&text, "The clock could not be set: the PC clock is ");
        AppendDrift(&text, facts->drift);
        Appendf(&text, "\r\nError %lu: %s", facts->error, facts->errorText);
    }
    Appendf(&text, "\r\nTime server: %s (%s)", facts->hostText, facts->hostAddress);
    AppendUtc(&text, "Server time", facts->serverTime);
    AppendUtc(&text, "PC time", facts->pcTime);
    return text.length;
}
