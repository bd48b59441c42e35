// Addresses of either family, as a run reads a server's name, compares the
// source of a reply with the address asked, and shows them: IPv4 dotted,
// IPv6 in its short text form (RFC 5952).
#pragma once

#include <stddef.h>

enum { kAddressTextSize = 46 }; // the longest text of either family, and its end

struct NetAddress {
    int family;              // 4 or 6; 0: none
    unsigned char bytes[16]; // network order; IPv4 in the first four
    unsigned long scope;     // an IPv6 link-local address's zone, from a name's lookup; else 0
};

enum ServerName {
    kServerMalformed, // a zone index ("fe80::1%3"), a port ("[fd00::5]:123"), a broken literal
    kServerToResolve, // a name, a dotted IPv4 address, or an IPv6 literal
    kServerLinkLocal, // an IPv6 literal in fe80::/10, which needs a zone: name the server
};

// The server's name of a host value, to hand to the resolver: an IPv6
// literal out of its brackets, the rest as it is. Written cut to size - 1.
ServerName ReadServerName(const char* text, char* out, size_t size);

// 1 and *address when text is an IPv6 address in any of its forms: full,
// compressed, with a dotted IPv4 tail.
int ParseIpv6(const char* text, NetAddress* address);

// An IPv4-mapped IPv6 address (::ffff:10.0.0.5) as the IPv4 address it is,
// to be asked over IPv4; any other as it is.
NetAddress Unmapped(const NetAddress* address);

// The address as text: dotted for IPv4 and for an IPv4-mapped IPv6 address,
// else the short IPv6 form ("fd00::5").
void FormatAddress(const NetAddress* address, char out[kAddressTextSize]);

// 1 when both are one address: an IPv4-mapped address (::ffff:10.0.0.5) is
// its IPv4 twin.
int SameAddress(const NetAddress* a, const NetAddress* b);
