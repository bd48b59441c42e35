// TZ texts and conversions between time values and fields.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/local_time.h"

static int32_t ReadInt(const uint8_t* data) {
    uint32_t value;
    memcpy(&value, data, 4);
    return (int32_t)value;
}

static void CheckFields(const TimeFields& f) {
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour < 0 || f.hour > 23 ||
        f.minute < 0 || f.minute > 59 || f.second < 0 || f.second > 59 || f.dayOfWeek < 0 ||
        f.dayOfWeek > 6 || f.year < 1969)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 + 7 * 4)
        return 0;
    int64_t t = (int64_t)ReadInt(data) * 137; // past the year 9999, and before 1970
    TimeFields given;
    int* parts[] = {&given.year,   &given.month,  &given.day,      &given.hour,
                    &given.minute, &given.second, &given.dayOfWeek};
    for (int i = 0; i < 7; i++)
        *parts[i] = ReadInt(data + 4 + 4 * i);
    std::string tz((const char*)data + 32, size - 32);

    LocalTimeRules rules;
    if (!ParseTzRules(tz.c_str(), &rules)) { // any offset, in minutes as the system gives it
        rules.offsetSeconds = (int64_t)given.year * 60;
        rules.daylight = given.day & 1;
    }
    TimeFields fields;
    if (TimeToFields(t, &rules, &fields))
        CheckFields(fields);
    int64_t read = FieldsToTime(&given, &rules);
    if (read == 0 || read < -1)
        abort();

    // In UTC the two conversions undo each other over the whole readable range.
    if (t > 0 && TimeToFields(t, &kUtcRules, &fields)) {
        CheckFields(fields);
        if (FieldsToTime(&fields, &kUtcRules) != t)
            abort();
    }
    return 0;
}
