// SHA-1 compression on the processor's SHA instructions.
//
// Only x86-64 builds with GCC or Clang have this function; elsewhere
// SECNATIVE_SHA1_NI is not defined and the portable compression is all there
// is. The caller checks cpu_features() & kCpuSha before calling. The rest of
// the library is compiled for the baseline processor; only this function
// uses the extra instructions.
#ifndef SECNATIVE_CRYPTO_SHA1_NI_H
#define SECNATIVE_CRYPTO_SHA1_NI_H

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SECNATIVE_SHA1_NI 1
#endif

namespace secnative::crypto {

#ifdef SECNATIVE_SHA1_NI

// Compresses `blocks` whole 64-byte blocks, read from data as big-endian
// words, into the five chaining values H0..H4 in state. No alignment is
// needed; blocks may be 0.
void sha1_ni_compress(uint32_t state[5], const uint8_t* data, size_t blocks);

#endif  // SECNATIVE_SHA1_NI

}  // namespace secnative::crypto

#endif  // SECNATIVE_CRYPTO_SHA1_NI_H
