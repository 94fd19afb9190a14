// SHA-1 (FIPS 180-1) as an incremental hash over a caller-owned context.
//
// sha1_init, then sha1_update any number of times, then sha1_final once.
// The context is plain data: declare it on the stack, no clean-up needed
// beyond wiping it if the message was secret. The digest is the standard
// one, byte for byte, on every host byte order.
#ifndef SECNATIVE_CRYPTO_SHA1_H
#define SECNATIVE_CRYPTO_SHA1_H

#include <stdint.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

enum { SHA1_DIGEST_SIZE = 20, SHA1_BLOCK_SIZE = 64 };

typedef struct sha1_context {
    uint32_t digest[5];       // chaining values H0..H4
    uint32_t bit_count_low;   // message length in bits, low word
    uint32_t bit_count_high;  // message length in bits, high word
    uint32_t block[16];       // partly filled input block, as bytes in message order
    int32_t block_used;       // bytes held in block, 0..63 between calls
} sha1_context;

// Starts a digest. The bytes of ctx->block are left as they were.
SECNATIVE_API void sha1_init(sha1_context* ctx);

// Feeds len bytes; len may be 0 (data may then be null).
SECNATIVE_API void sha1_update(sha1_context* ctx, const uint8_t* data, uint32_t len);

// Completes the digest and writes its 20 bytes to out. The context is spent
// afterwards and must be re-initialised before reuse.
SECNATIVE_API void sha1_final(sha1_context* ctx, uint8_t out[20]);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_CRYPTO_SHA1_H
