// Texts written into a buffer of the caller's, alike with every C runtime.
#pragma once

#include <stddef.h>

// snprintf's work: the text cut to size - 1 characters if it does not fit,
// always terminated; the length written.
size_t FormatText(char* out, size_t size, const char* format, ...);

// A text being written piece by piece.
struct ReportText {
    char* out;
    size_t size;
    size_t length;
    int marksCut; // 1: a text cut to fit ends in "..."
};

// Appends to the text as FormatText writes; once cut, nothing more fits.
void Appendf(ReportText* text, const char* format, ...);

extern const char kCutMark[]; // "..."
