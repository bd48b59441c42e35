#include "core/net_address.h"

#include <string.h>

#include "core/report.h"

static const unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

static int HexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// Four dotted decimal parts of 0 to 255, and nothing after them.
static int ParseDotted(const char* p, unsigned char out[4]) {
    for (int part = 0; part < 4; part++) {
        int value = 0, digits = 0;
        for (; *p >= '0' && *p <= '9' && digits < 3; p++, digits++)
            value = value * 10 + (*p - '0');
        if (digits == 0 || value > 255 || *p != (part < 3 ? '.' : '\0'))
            return 0;
        out[part] = (unsigned char)value;
        p++;
    }
    return 1;
}

int ParseIpv6(const char* text, NetAddress* address) {
    unsigned char bytes[16];
    int count = 0, gap = -1; // bytes read; where "::" stands
    const char* p = text;
    if (p[0] == ':' && p[1] == ':') {
        gap = 0;
        p += 2;
    }
    while (*p != '\0') {
        if (count <= 12 && strchr(p, '.') != NULL && strchr(p, ':') == NULL) {
            if (!ParseDotted(p, bytes + count))
                return 0;
            count += 4;
            break;
        }
        int value = 0, digits = 0;
        for (; digits < 4 && HexValue(*p) >= 0; p++, digits++)
            value = value * 16 + HexValue(*p);
        if (digits == 0 || count == 16)
            return 0;
        bytes[count++] = (unsigned char)(value >> 8);
        bytes[count++] = (unsigned char)value;
        if (*p == '\0')
            break;
        if (*p++ != ':')
            return 0;
        if (*p == ':') {
            if (gap >= 0)
                return 0;
            gap = count;
            p++;
        } else if (*p == '\0') {
            return 0; // a colon at the end
        }
    }
    if (gap < 0 ? count != 16 : count > 14)
        return 0;
    memset(address, 0, sizeof *address);
    address->family = 6;
    int tail = gap < 0 ? 0 : count - gap;
    memcpy(address->bytes, bytes, (size_t)(count - tail));
    memcpy(address->bytes + 16 - tail, bytes + count - tail, (size_t)tail);
    return 1;
}

ServerName ReadServerName(const char* text, char* out, size_t size) {
    size_t length = strlen(text);
    int bracketed = text[0] == '[' && length >= 2 && text[length - 1] == ']';
    FormatText(out, size, "%.*s", (int)(bracketed ? length - 2 : length), text + bracketed);
    NetAddress literal;
    // A colon or a bracket is an IPv6 literal's, or a port's; a percent sign a zone's.
    int colon = strchr(out, ':') != NULL;
    if (strchr(out, '%') != NULL || strchr(out, '[') != NULL || strchr(out, ']') != NULL ||
        ((bracketed || colon) && !ParseIpv6(out, &literal)))
        return kServerMalformed;
    // fe80::/10 means nothing without the zone that a name's lookup would give.
    if ((bracketed || colon) && literal.bytes[0] == 0xFE && (literal.bytes[1] & 0xC0) == 0x80)
        return kServerLinkLocal;
    return kServerToResolve;
}

NetAddress Unmapped(const NetAddress* address) {
    NetAddress plain = *address;
    if (address->family == 6 && memcmp(address->bytes, kMappedPrefix, 12) == 0) {
        memset(&plain, 0, sizeof plain);
        plain.family = 4;
        memcpy(plain.bytes, address->bytes + 12, 4);
    }
    return plain;
}

void FormatAddress(const NetAddress* address, char out[kAddressTextSize]) {
    NetAddress a = Unmapped(address);
    const unsigned char* b = a.bytes;
    if (a.family != 6) {
        FormatText(out, kAddressTextSize, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
        return;
    }
    // The longest run of two or more zero groups, the first of equals, is "::".
    int runStart = -1, runLength = 1;
    for (int i = 0; i < 8; i++) {
        int length = 0;
        while (i + length < 8 && b[2 * (i + length)] == 0 && b[2 * (i + length) + 1] == 0)
            length++;
        if (length > runLength) {
            runStart = i;
            runLength = length;
        }
    }
    size_t at = 0;
    for (int i = 0; i < 8; i++) {
        if (i == runStart) {
            at += FormatText(out + at, kAddressTextSize - at, "::");
            i += runLength - 1;
            continue;
        }
        at += FormatText(out + at, kAddressTextSize - at, "%s%x",
                         at > 0 && out[at - 1] != ':' ? ":" : "", b[2 * i] << 8 | b[2 * i + 1]);
    }
}

int SameAddress(const NetAddress* a, const NetAddress* b) {
    NetAddress x = Unmapped(a), y = Unmapped(b);
    return x.family == y.family && x.family != 0 &&
           memcmp(x.bytes, y.bytes, x.family == 4 ? 4 : 16) == 0;
}
