// The texts of the report box.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "app/local_time.h"

enum {
    kReportSize = 256, // room for the longest report
    kCaptionSize = 40, // "Host Address : " and a dotted address
};

// The server line, the PC line and then either the drift question or, when
// drift is 0, the no-correction text. `pc` is NULL when the PC clock cannot
// be read. Returns the length written (cut to size - 1 if it does not fit).
size_t FormatReport(char* out, size_t size, const TimeFields* server, const TimeFields* pc,
                    int32_t drift);

// "Host Address : " and the dotted address of the host that answered.
size_t FormatHostCaption(char* out, size_t size, const char* dottedAddress);
