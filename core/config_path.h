// The configuration file is named after the executable: same drive,
// directory and base name, extension "ini".
#pragma once

#include <stddef.h>

// Writes the configuration path for `exePath` into `out` (at most size - 1
// characters and a terminator, nothing when size is 0) and returns the length
// of the whole path, so that a caller can size its buffer first, as with snprintf.
size_t ConfigPathFor(const char* exePath, char* out, size_t size);
