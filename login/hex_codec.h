// Hexadecimal codec of the password family: bytes to upper-case digit pairs
// and back.
//
// Both functions are exported as ordinary C++ functions (their symbols carry
// the parameter types), unlike the rest of the family, which is extern "C".
// Neither validates its input: hex2octet decodes any character, lower-case
// digits included, and never reports an error.
#ifndef SECNATIVE_LOGIN_HEX_CODEC_H
#define SECNATIVE_LOGIN_HEX_CODEC_H

#include <stdint.h>

#include "common/export.h"

#ifdef __cplusplus

// Writes two upper-case digits per input byte, high nibble first, then a
// terminating zero. out must hold 2 * len + 1 bytes. Returns out + 2 * len,
// the address of the terminator.
SECNATIVE_API char* octet2hex(char* out, const uint8_t* data, uint32_t len);

// Decodes len characters of text, two per output byte; out must hold len / 2
// bytes. With an odd len the lone last character is ignored: nothing past
// text[len - 1] is ever read.
SECNATIVE_API void hex2octet(uint8_t* out, const char* text, uint32_t len);

namespace secnative::login {

// Value of one digit: '0'..'9' -> 0..9, 'A'..'Z' -> 10..35, anything else is
// read as a lower-case letter, c - 'a' + 10 modulo 256. Internal to the
// library.
uint8_t char_val(uint8_t c);

}  // namespace secnative::login

#endif  // __cplusplus

#endif  // SECNATIVE_LOGIN_HEX_CODEC_H
