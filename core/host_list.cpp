#include "core/host_list.h"

#include <limits.h>
#include <stdlib.h>

#include "protocol/exchange.h"

static int IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static void Trim(const char** text, size_t* length) {
    while (*length > 0 && IsBlank(**text)) {
        (*text)++;
        (*length)--;
    }
    while (*length > 0 && IsBlank((*text)[*length - 1]))
        (*length)--;
}

static char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// The index of a key "HostN", or -1 for any other key.
static int HostIndex(const char* name, size_t length) {
    static const char kPrefix[] = "host";
    const size_t prefixLength = sizeof kPrefix - 1;
    if (length <= prefixLength)
        return -1;
    for (size_t i = 0; i < prefixLength; i++)
        if (Lower(name[i]) != kPrefix[i])
            return -1;
    const char* digits = name + prefixLength;
    size_t count = length - prefixLength;
    if (digits[0] == '0' && count > 1)
        return -1;
    long long index = 0;
    for (size_t i = 0; i < count; i++) {
        if (digits[i] < '0' || digits[i] > '9')
            return -1;
        index = index * 10 + (digits[i] - '0');
        if (index > INT_MAX)
            return -1;
    }
    return (int)index;
}

struct SortableHost {
    HostEntry entry;
    size_t position; // keeps the first of equal indices first
};

static int CompareHosts(const void* a, const void* b) {
    const SortableHost* x = (const SortableHost*)a;
    const SortableHost* y = (const SortableHost*)b;
    if (x->entry.index != y->entry.index)
        return x->entry.index < y->entry.index ? -1 : 1;
    return x->position < y->position ? -1 : x->position > y->position;
}

// The host keys below maxHost in file order, written to `keys` unless it is
// NULL; returns how many there are.
static size_t CollectHostKeys(const char* section, size_t sectionLength, int maxHost,
                              SortableHost* keys) {
    size_t count = 0;
    size_t start = 0;
    while (start < sectionLength && section[start] != '\0') {
        size_t end = start;
        while (end < sectionLength && section[end] != '\0')
            end++;
        size_t equals = start;
        while (equals < end && section[equals] != '=')
            equals++;
        const char* name = section + start;
        size_t nameLength = equals - start;
        Trim(&name, &nameLength);
        int index = HostIndex(name, nameLength);
        if (index >= 0 && index < maxHost) {
            if (keys != NULL) {
                HostEntry entry = {index, section + end, 0}; // a key without "=" is empty
                if (equals < end) {
                    entry.value = section + equals + 1;
                    entry.length = end - equals - 1;
                }
                keys[count].entry = entry;
                keys[count].position = count;
            }
            count++;
        }
        start = end + 1;
    }
    return count;
}

HostEntry* ListHosts(const char* section, size_t sectionLength, int maxHost, size_t* count) {
    *count = 0;
    size_t keyCount = CollectHostKeys(section, sectionLength, maxHost, NULL);
    SortableHost* keys = (SortableHost*)malloc(keyCount * sizeof *keys);
    HostEntry* hosts = (HostEntry*)malloc(keyCount * sizeof *hosts);
    if (keyCount == 0 || keys == NULL || hosts == NULL) {
        free(keys);
        free(hosts);
        return NULL;
    }
    CollectHostKeys(section, sectionLength, maxHost, keys);
    qsort(keys, keyCount, sizeof *keys, CompareHosts);
    for (size_t i = 0; i < keyCount; i++) {
        if (i > 0 && keys[i].entry.index == keys[i - 1].entry.index)
            continue; // a repeated key: the profile calls see only the first
        hosts[(*count)++] = keys[i].entry;
    }
    free(keys);
    return hosts;
}

void CopyHostValue(const HostEntry* host, char* out, size_t size) {
    if (size == 0)
        return;
    const char* value = host->value;
    size_t length = host->length;
    Trim(&value, &length);
    if (length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0]) {
        value++;
        length -= 2;
    }
    if (length > size - 1)
        length = size - 1;
    for (size_t i = 0; i < length; i++)
        out[i] = value[i];
    out[length] = '\0';
}

int NamesAHost(const char* section, size_t sectionLength, int maxHost) {
    size_t count;
    HostEntry* hosts = ListHosts(section, sectionLength, maxHost, &count);
    int named = 0;
    for (size_t i = 0; i < count && !named; i++) {
        char value[255];
        const char* server;
        CopyHostValue(&hosts[i], value, sizeof value);
        ProtocolOfHost(value, &server);
        named = server[0] != '\0';
    }
    free(hosts);
    return named;
}
