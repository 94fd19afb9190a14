// AES on the processor's AES instructions, many 16-byte blocks per call (ECB).
//
// Both engines run from the schedules that AES_init_encrypt and
// AES_init_decrypt write, so a schedule made once serves the table engine and
// these alike, and a stream may move between them from one call to the next.
// The decryption schedule is the equivalent inverse cipher's, which is what
// the AESDEC instruction takes, round key 0 first.
//
// Only x86-64 builds with GCC or Clang have these functions; elsewhere
// SECNATIVE_AES_NI is not defined and the table engine is all there is. The
// caller checks cpu_features() before calling: kCpuAes for the aes_ni_*
// functions, kCpuVaesAvx2 for the aes_vaes_* ones. The rest of the library is
// compiled for the baseline processor; only these functions use the extra
// instructions.
//
// Unlike the table engine's block functions, these take the same time
// whatever the key and data: the instructions substitute bytes without memory
// look-ups. (The schedule they read still comes from the table set-up, which
// indexes its tables with key bytes once per key.)
#ifndef SECNATIVE_CRYPTO_AES_NI_H
#define SECNATIVE_CRYPTO_AES_NI_H

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SECNATIVE_AES_NI 1
#endif

namespace secnative::crypto {

#ifdef SECNATIVE_AES_NI

// Transform `blocks` blocks from in to out. in and out may be the same buffer
// but must not overlap otherwise; no alignment is needed. A round count other
// than 10, 12 or 14 gets the table engine's answer (a zero block for each).

// One block per 128-bit register, eight in flight (needs kCpuAes).
void aes_ni_encrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                           uint8_t* out);
void aes_ni_decrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                           uint8_t* out);

// Two blocks per 256-bit register, sixteen in flight (needs kCpuVaesAvx2).
void aes_vaes_encrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                             uint8_t* out);
void aes_vaes_decrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                             uint8_t* out);

#endif  // SECNATIVE_AES_NI

}  // namespace secnative::crypto

#endif  // SECNATIVE_CRYPTO_AES_NI_H
