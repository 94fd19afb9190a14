// Table-driven AES (FIPS-197) for 128-, 192- and 256-bit keys, one 16-byte
// block per call.
//
// The set-up functions fill a caller-owned schedule of up to 60 words and
// return the round count Nr (10, 12 or 14), or 0 for an unsupported key
// length. Every block call takes that schedule and Nr.
//
// This engine makes data-dependent table look-ups (one per byte per round),
// so its timing is not constant: a process that shares caches with an
// attacker can leak key bits through it. It is the portable reference path.
#ifndef SECNATIVE_CRYPTO_AES_RJ_H
#define SECNATIVE_CRYPTO_AES_RJ_H

#include <stdint.h>

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

enum { AES_BLOCK_SIZE = 16, AES_MAX_ROUNDS = 14, AES_SCHEDULE_WORDS = 4 * (AES_MAX_ROUNDS + 1) };

// Fills 4 * (Nr + 1) words of rk for encryption; words beyond are untouched.
SECNATIVE_API int AES_init_encrypt(uint32_t rk[/*60*/], const uint8_t* key, int key_bits);

// Fills rk for decryption (the equivalent inverse cipher's schedule).
SECNATIVE_API int AES_init_decrypt(uint32_t rk[/*60*/], const uint8_t* key, int key_bits);

// Enciphers one block; in and out may be the same buffer. nr must be the value
// AES_init_encrypt returned for rk; any other round count stores a zero block
// and reads no round key.
SECNATIVE_API void AES_encrypt_rj(const uint32_t rk[/*60*/], int nr, const uint8_t in[16],
                                  uint8_t out[16]);

// Deciphers one block; in and out may be the same buffer. nr must be the value
// AES_init_decrypt returned for rk; any other round count stores a zero block
// and reads no round key.
SECNATIVE_API void AES_decrypt_rj(const uint32_t rk[/*60*/], int nr, const uint8_t in[16],
                                  uint8_t out[16]);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_CRYPTO_AES_RJ_H
