#include "login/random_string.h"

namespace {

constexpr unsigned long kModulus = 0x3FFFFFFFUL;

}  // namespace

void rand_init(rand_context* ctx, unsigned long seed1, unsigned long seed2) {
    ctx->modulus = kModulus;
    ctx->modulus_as_double = static_cast<double>(kModulus);
    ctx->seed_a = seed1 % kModulus;
    ctx->seed_b = seed2 % kModulus;
}

double rand_value(rand_context* ctx) {
    // Both seeds stay below 2^30, so 3 * seed_a + seed_b fits in 32 bits and
    // the sequence does not depend on the width of long.
    ctx->seed_a = (ctx->seed_a * 3 + ctx->seed_b) % ctx->modulus;
    ctx->seed_b = (ctx->seed_a + ctx->seed_b + 33) % ctx->modulus;
    // Stored as a double before it is returned: an x87 build would otherwise
    // hand back the 80-bit quotient, and callers on different builds would
    // see different bits.
    volatile double value = static_cast<double>(ctx->seed_a) / ctx->modulus_as_double;
    return value;
}

void create_random_string(char* out, uint32_t len, rand_context* ctx) {
    for (uint32_t i = 0; i < len; ++i) {
        // The value is below 1, so the code is at most 126 ('~').
        out[i] = static_cast<char>(static_cast<int>(rand_value(ctx) * 94.0 + 33.0));
    }
    out[len] = '\0';
}
