// The hosts of the configuration, read from its section in one piece (as the
// platform returns a whole section: "key=value" texts, each ended by a zero,
// and one more zero at the end), so that a run's cost follows the hosts that
// exist, not the largest index it may try.
#pragma once

#include <stddef.h>

struct HostEntry {
    int index;         // N of the key "HostN"
    const char* value; // inside the section text, not terminated
    size_t length;
};

// The keys "Host0", "Host1", ... (letters in any case, the index in decimal
// without leading zeros) whose index is below maxHost, the first of each
// index only, in increasing index order: an array for free(), and its length
// in *count. NULL when there are none (or no memory for them).
HostEntry* ListHosts(const char* section, size_t sectionLength, int maxHost, size_t* count);

// The value as the profile calls give it: blanks around it trimmed, one pair
// of matching quotes removed, cut to size - 1 characters (254 in a buffer of 255).
void CopyHostValue(const HostEntry* host, char* out, size_t size);

// 1 when the section names a server a run would ask: a host key below
// maxHost whose value is not empty, nor a protocol's prefix alone ("ntp:").
int NamesAHost(const char* section, size_t sectionLength, int maxHost);
