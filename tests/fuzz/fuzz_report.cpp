// The report and event texts for any fields and drift, into buffers of any
// size; the agreement of the hosts asked, whatever their answers.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "core/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TimeFields fields[2];
    int64_t drift;
    if (size < sizeof fields + sizeof drift + 2)
        return 0;
    memcpy((void*)fields, data, sizeof fields);
    memcpy(&drift, data + sizeof fields, sizeof drift);
    size_t bufferSize = data[sizeof fields + sizeof drift];
    int pcReadable = data[sizeof fields + sizeof drift + 1] & 1;
    int fine = data[sizeof fields + sizeof drift + 1] >> 1 & 1;
    // The fields' bytes as the times, the drift's as the uncertainty too.
    int64_t times[2];
    memcpy(times, fields, sizeof times);
    TimeAnswer answer = {times[0], times[1], drift, drift < 0 ? -(drift / 2) : drift / 2, fine};

    std::vector<char> address(data + sizeof fields + sizeof drift + 2, data + size);
    address.push_back('\0');
    // Event texts: the address as every text, and as the hosts asked, which
    // answered with drifts of the fields' bytes, some whole, some fine.
    AskedHost asked[4];
    int64_t drifts[4];
    memcpy(drifts, fields, sizeof drifts);
    for (int i = 0; i < 4; i++) {
        asked[i] = {};
        asked[i].hostText = address.data();
        asked[i].why = (NoTime)((drift >> (8 * i)) & 7);
        memcpy(asked[i].address, data, sizeof asked[i].address - 1);
        memcpy(asked[i].kissCode, data + 16, 4);
        asked[i].answered = drift >> (32 + i) & 1;
        asked[i].answer = {0, 0, drifts[i] >> 2, drifts[i] & 0xFFFF, (int)(drifts[i] >> 1 & 1)};
    }
    int wanted = (int)(drift >> 40 & 15) + 1;
    int chosen = AgreedAnswer(asked, 4, wanted);
    int agreeing = 0;
    for (int i = 0; i < 4; i++)
        agreeing += asked[i].agreed;
    if (chosen >= 0 && (!asked[chosen].answered || !asked[chosen].agreed || agreeing * 2 <= wanted))
        abort();

    std::vector<char> text(bufferSize + 1, '#');
    size_t length =
        FormatReport(text.data(), bufferSize, &fields[0], pcReadable ? &fields[1] : NULL, &answer,
                     asked, 4, (int)(drift >> 44 & 1));
    if (bufferSize > 0 && (length >= bufferSize || strlen(text.data()) != length))
        abort();
    if (text[bufferSize] != '#')
        abort();

    std::vector<char> caption(bufferSize + 1, '#');
    length = FormatHostCaption(caption.data(), bufferSize, address.data());
    if ((bufferSize > 0 && (length >= bufferSize || strlen(caption.data()) != length)) ||
        caption[bufferSize] != '#')
        abort();

    EventFacts facts = {address.data(),       address.data(), address.data(),   answer,
                        (unsigned long)drift, address.data(), (int)(drift & 3), asked,
                        (int)(drift >> 32),   (int)drift,     times[0] >> 16,   wanted};
    for (int id = kEventCorrected; id <= kEventDisagree; id++) {
        std::vector<char> event(bufferSize + 1, '#'), box(bufferSize + 1, '#');
        length = FormatEventText(event.data(), bufferSize, (EventId)id, &facts);
        if ((bufferSize > 0 && (length >= bufferSize || strlen(event.data()) != length)) ||
            event[bufferSize] != '#')
            abort();
        length = FormatNoTimeBox(box.data(), bufferSize, (EventId)id, &facts);
        if ((bufferSize > 0 && (length >= bufferSize || strlen(box.data()) != length)) ||
            box[bufferSize] != '#')
            abort();
    }
    return 0;
}
