// Typed values of attribute values and texts, with the caller's default for
// a missing text. Whole numbers are read with strtol in base 10 and clamped
// to the result type, so that a number out of range gives the same value on
// every build, whatever the width of long.
#include <climits>
#include <cstdlib>

#include "xml/xml_parser.h"

namespace {

bool present(const char* text) {
    return text && *text;
}

int clampedInt(const char* text) {
    const long v = std::strtol(text, NULL, 10);
#if LONG_MAX > INT_MAX
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
#endif
    return static_cast<int>(v);
}

}  // namespace

char xmltob(const char* text, char value) {
    if (!present(text)) return value;
    return static_cast<char>(static_cast<unsigned char>(clampedInt(text) & 0xFF));
}

int xmltoi(const char* text, int value) {
    return present(text) ? clampedInt(text) : value;
}

long xmltol(const char* text, long value) {
    return present(text) ? std::strtol(text, NULL, 10) : value;
}

double xmltof(const char* text, double value) {
    return present(text) ? std::strtod(text, NULL) : value;
}

const char* xmltoa(const char* text, const char* value) {
    return text ? text : value;
}

char xmltoc(const char* text, char value) {
    return present(text) ? text[0] : value;
}
