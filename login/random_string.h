// A small seeded generator of printable challenge strings.
//
// Two linear congruential states below 2^30 drive a value in [0, 1); a
// string character is that value scaled onto '!'..'~'. The generator is for
// making challenges that look random to a casual observer, not for keys: it
// is predictable from its seeds. Given the same seeds it yields the same
// sequence on 32- and 64-bit builds.
#ifndef SECNATIVE_LOGIN_RANDOM_STRING_H
#define SECNATIVE_LOGIN_RANDOM_STRING_H

#include <stdint.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

// Caller-owned generator state; the field widths follow the platform's long.
typedef struct rand_context {
    unsigned long seed_a;   // below modulus after rand_init
    unsigned long seed_b;   // below modulus after rand_init
    unsigned long modulus;  // 0x3FFFFFFF
    double modulus_as_double;
} rand_context;

// Seeds the generator; each seed is reduced modulo 0x3FFFFFFF.
SECNATIVE_API void rand_init(rand_context* ctx, unsigned long seed1, unsigned long seed2);

// Advances the state and returns the next value, in [0, 1).
SECNATIVE_API double rand_value(rand_context* ctx);

// Writes len characters from '!' (33) to '~' (126), never a zero byte, and a
// terminating zero at out[len]; out must hold len + 1 bytes.
SECNATIVE_API void create_random_string(char* out, uint32_t len, rand_context* ctx);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_LOGIN_RANDOM_STRING_H
