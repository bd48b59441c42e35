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

static void AppendTimeLine(ReportText* text, const char* label, const TimeFields* f) {
    Appendf(text, "%s:  %02d/%02d/%04d     %02d:%02d:%02d\n", label, f->day, f->month, f->year,
            f->hour, f->minute, f->second);
}

size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    int32_t drift) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0};
    out[0] = '\0';
    AppendTimeLine(&text, "Horavel ", server);
    if (pc != NULL)
        AppendTimeLine(&text, "PC  Time ", pc);
    else
        Appendf(&text, "PC  Time :  --/--/----     --:--:--\n");
    if (drift != 0)
        Appendf(&text, "\nYour PC's clock has  %ld seconds drift !\nDo you want to fix it ?\n",
                (long)drift);
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
