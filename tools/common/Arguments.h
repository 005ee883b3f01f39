#pragma once
// Reading the tools' numeric command-line arguments.

#include <cerrno>
#include <cstdlib>

namespace ngtools {

// A whole decimal number within [min, max]; false for anything else.
inline bool ParseLong(const char* text, long min, long max, long* value) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace ngtools
