#include "login/hex_codec.h"

namespace {

// The only digit table: output is always upper case.
constexpr char _dig_vec_upper[] = "0123456789ABCDEF";

}  // namespace

namespace secnative::login {

uint8_t char_val(uint8_t c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A' + 10);
    return static_cast<uint8_t>(c - 'a' + 10);
}

}  // namespace secnative::login

char* octet2hex(char* out, const uint8_t* data, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) {
        *out++ = _dig_vec_upper[data[i] >> 4];
        *out++ = _dig_vec_upper[data[i] & 0x0F];
    }
    *out = '\0';
    return out;
}

void hex2octet(uint8_t* out, const char* text, uint32_t len) {
    using secnative::login::char_val;
    // Whole pairs only, so an odd length cannot reach past the range.
    for (uint32_t i = 0; i + 1 < len; i += 2) {
        const uint8_t high = char_val(static_cast<uint8_t>(text[i]));
        const uint8_t low = char_val(static_cast<uint8_t>(text[i + 1]));
        *out++ = static_cast<uint8_t>((high << 4) | low);
    }
}
