// Which of the processor's crypto instructions the accelerated paths may use.
//
// The answer is worked out on first use (no load-time constructor) and kept
// in one atomic word, so any thread may ask at any time. Only x86-64 builds
// look at the processor; every other build answers "none" and runs the
// portable code.
#ifndef SECNATIVE_CRYPTO_CPU_FEATURES_H
#define SECNATIVE_CRYPTO_CPU_FEATURES_H

#include <cstdint>

namespace secnative::crypto {

enum CpuFeature : uint32_t {
    kCpuAes = 1u << 0,       // AES-NI, with SSE4.1
    kCpuVaesAvx2 = 1u << 1,  // VAES on 256-bit registers (AVX2 state enabled by the OS)
    kCpuSha = 1u << 2,       // SHA extensions with SSSE3 and SSE4.1
};

// The features this process may use: the processor's, masked by the
// test switch below.
uint32_t cpu_features();

// Test-only switch, not exported from the shared library: while on, every
// accelerated path reports itself absent and the portable code runs. Returns
// the previous setting.
bool force_portable(bool on);

}  // namespace secnative::crypto

#endif  // SECNATIVE_CRYPTO_CPU_FEATURES_H
