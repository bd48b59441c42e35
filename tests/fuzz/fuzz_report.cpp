// The report and event texts for any fields and drift, into buffers of any size.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "app/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TimeFields fields[2];
    int64_t drift;
    if (size < sizeof fields + sizeof drift + 2)
        return 0;
    memcpy(fields, data, sizeof fields);
    memcpy(&drift, data + sizeof fields, sizeof drift);
    size_t bufferSize = data[sizeof fields + sizeof drift];
    int pcReadable = data[sizeof fields + sizeof drift + 1] & 1;

    std::vector<char> text(bufferSize + 1, '#');
    size_t length =
        FormatReport(text.data(), bufferSize, &fields[0], pcReadable ? &fields[1] : NULL, drift);
    if (bufferSize > 0 && (length >= bufferSize || strlen(text.data()) != length))
        abort();
    if (text[bufferSize] != '#')
        abort();

    std::vector<char> caption(bufferSize + 1, '#');
    std::vector<char> address(data + sizeof fields + sizeof drift + 2, data + size);
    address.push_back('\0');
    length = FormatHostCaption(caption.data(), bufferSize, address.data());
    if ((bufferSize > 0 && (length >= bufferSize || strlen(caption.data()) != length)) ||
        caption[bufferSize] != '#')
        abort();

    // Event texts: the fields' bytes as times, the address as every text.
    int64_t times[2];
    memcpy(times, fields, sizeof times);
    EventFacts facts = {address.data(),       address.data(), times[0],   times[1],          drift,
                        (unsigned long)drift, address.data(), (int)drift, (int)(drift >> 32)};
    for (int id = kEventCorrected; id <= kEventNoNetwork; id++) {
        std::vector<char> event(bufferSize + 1, '#');
        length = FormatEventText(event.data(), bufferSize, (EventId)id, &facts);
        if ((bufferSize > 0 && (length >= bufferSize || strlen(event.data()) != length)) ||
            event[bufferSize] != '#')
            abort();
    }
    return 0;
}
