#include "core/text_buffer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
// msvcrt's own, not the C99 emulation the mingw runtime would link in for
// it: a text that does not fit is cut all the same, and -1 says so.
#define vsnprintf _vsnprintf
#endif

const char kCutMark[] = "...";

static void AppendList(ReportText* text, const char* format, va_list args) {
    if (text->length + 1 >= text->size)
        return;
    int written = vsnprintf(text->out + text->length, text->size - text->length, format, args);
    if (written >= 0 && text->length + (size_t)written < text->size) {
        text->length += (size_t)written;
        return;
    }
    // Cut: an event says so at its end, so that no one takes it for whole.
    text->length = text->size - 1;
    text->out[text->length] = '\0';
    if (text->marksCut && text->size > sizeof kCutMark)
        memcpy(text->out + text->length - (sizeof kCutMark - 1), kCutMark, sizeof kCutMark);
}

void Appendf(ReportText* text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendList(text, format, args);
    va_end(args);
}

size_t FormatText(char* out, size_t size, const char* format, ...) {
    if (size == 0)
        return 0;
    ReportText text = {out, size, 0, 0};
    out[0] = '\0';
    va_list args;
    va_start(args, format);
    AppendList(&text, format, args);
    va_end(args);
    return text.length;
}
