// Bulk ECB transform of whole 16-byte blocks: the only place where the cipher
// streams touch the AES engine for data. Each call takes the fastest engine
// the processor offers (VAES on 256-bit registers, then AES-NI, then the
// table engine); all of them give the same bytes from the same schedule, so
// the choice is invisible to the stream.
#ifndef SECNATIVE_CIPHER_BLOCK_TRANSFORM_H
#define SECNATIVE_CIPHER_BLOCK_TRANSFORM_H

#include <cstddef>
#include <cstdint>

namespace secnative::cipher {

// Transforms len / 16 blocks from in to out (a remainder below 16 bytes is
// ignored). in and out may be the same buffer but must not overlap otherwise.
void encrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out);
void decrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out);

}  // namespace secnative::cipher

#endif  // SECNATIVE_CIPHER_BLOCK_TRANSFORM_H
