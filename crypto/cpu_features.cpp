#include "crypto/cpu_features.h"

#include <atomic>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SECNATIVE_CPUID 1
#include <cpuid.h>
#endif

namespace secnative::crypto {
namespace {

// Bit 31 marks the word as filled in, so that a processor without any of the
// features is not asked again.
constexpr uint32_t kKnown = 1u << 31;

std::atomic<uint32_t> detected{0};
std::atomic<bool> portable_only{false};

#ifdef SECNATIVE_CPUID
// Register state the OS saves on a context switch (XCR0): bits 1 and 2 are
// the SSE and AVX halves of the vector registers.
uint64_t enabled_register_state() {
    uint32_t lo = 0;
    uint32_t hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

uint32_t probe() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d) == 0) return 0;
    const unsigned max_leaf = a;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return 0;
    const unsigned leaf1_c = c;
    const bool ssse3 = (leaf1_c & bit_SSSE3) != 0;
    const bool sse41 = (leaf1_c & bit_SSE4_1) != 0;
    const bool aes = (leaf1_c & bit_AES) != 0;
    const bool osxsave = (leaf1_c & bit_OSXSAVE) != 0;
    const bool avx = (leaf1_c & bit_AVX) != 0;

    unsigned leaf7_b = 0;
    unsigned leaf7_c = 0;
    if (max_leaf >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        leaf7_b = b;
        leaf7_c = c;
    }
    const bool avx2 = (leaf7_b & bit_AVX2) != 0;
    const bool sha = (leaf7_b & bit_SHA) != 0;
    const bool vaes = (leaf7_c & bit_VAES) != 0;
    const bool ymm_saved = osxsave && (enabled_register_state() & 0x6) == 0x6;

    uint32_t features = 0;
    if (aes && sse41) features |= kCpuAes;
    if (aes && sse41 && avx && avx2 && vaes && ymm_saved) features |= kCpuVaesAvx2;
    if (sha && ssse3 && sse41) features |= kCpuSha;
    return features;
}
#else
uint32_t probe() {
    return 0;
}
#endif

}  // namespace

uint32_t cpu_features() {
    uint32_t word = detected.load(std::memory_order_relaxed);
    if ((word & kKnown) == 0) {
        // Two threads may both probe; they store the same answer.
        // Where probe() is the portable stub cppcheck sees a zero operand.
        // cppcheck-suppress badBitmaskCheck
        word = probe() | kKnown;
        detected.store(word, std::memory_order_relaxed);
    }
    if (portable_only.load(std::memory_order_relaxed)) return 0;
    return word & ~kKnown;
}

bool force_portable(bool on) {
    return portable_only.exchange(on);
}

}  // namespace secnative::crypto
