// SHA-1 compression on the SHA extensions: four rounds per instruction.
//
// SHA1RNDS4 runs four rounds on A..D held in one register (A in the top
// lane), taking E plus the four message words in another. SHA1NEXTE makes the
// next group's E from the A of four rounds earlier (rotated by 30) and adds
// it to that group's first word. The schedule is built four words at a time
// in a ring of four registers: W[t] for t >= 16 is
// rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]); SHA1MSG1 and a plain XOR bring
// in the t-16, t-14 and t-8 terms, SHA1MSG2 adds t-3 and rotates.
#include "crypto/sha1_ni.h"

#ifdef SECNATIVE_SHA1_NI

#include <immintrin.h>

#include <utility>

#define SECNATIVE_TARGET_SHA __attribute__((target("sha,ssse3,sse4.1")))
#define SECNATIVE_TARGET_SHA_INLINE \
    __attribute__((target("sha,ssse3,sse4.1"), always_inline)) inline

namespace secnative::crypto {
namespace {

constexpr size_t kBlockSize = 64;
constexpr int kGroups = 20;  // 80 rounds, four at a time

// The working registers of one block. e[] are two registers that take turns:
// one carries E plus the words into the current four rounds while the other
// keeps A from before them, which rotated by 30 is the E of the next four. w[] holds the
// schedule words of four consecutive groups, group g in w[g % 4].
struct Working {
    __m128i abcd;
    __m128i e[2];
    __m128i w[4];
};

// Rounds 4g .. 4g+3. While they run, the schedule of groups g+1 .. g+3 moves
// on by one step each: group g+1 is finished (SHA1MSG2), group g+2 gets its
// t-8 term, group g+3 is started from groups g-1 and g (SHA1MSG1). Groups 0..3
// are the block itself, so the steps that would feed groups past 19 are left
// out.
template <int kGroup>
SECNATIVE_TARGET_SHA_INLINE void four_rounds(Working& s) {
    __m128i& e = s.e[kGroup & 1];
    const __m128i w = s.w[kGroup % 4];
    // Group 0 starts from E plus its words, which the caller sets up.
    if constexpr (kGroup > 0) e = _mm_sha1nexte_epu32(e, w);
    s.e[(kGroup + 1) & 1] = s.abcd;
    if constexpr (kGroup >= 3 && kGroup + 1 < kGroups) {
        __m128i& next = s.w[(kGroup + 1) % 4];
        next = _mm_sha1msg2_epu32(next, w);
    }
    // The round function (choose, parity, majority, parity) and its constant
    // change every twenty rounds.
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, e, kGroup / 5);
    if constexpr (kGroup >= 2 && kGroup + 2 < kGroups) {
        __m128i& after_next = s.w[(kGroup + 2) % 4];
        after_next = _mm_xor_si128(after_next, w);
    }
    if constexpr (kGroup >= 1 && kGroup + 3 < kGroups) {
        __m128i& third = s.w[(kGroup + 3) % 4];
        third = _mm_sha1msg1_epu32(third, w);
    }
}

template <int... kGroup>
SECNATIVE_TARGET_SHA_INLINE void all_rounds(Working& s, std::integer_sequence<int, kGroup...>) {
    (four_rounds<kGroup>(s), ...);
}

// Adds four 32-bit lanes (PADDD). Written with the compiler's vector
// arithmetic: clang-tidy's portability check reports the intrinsic at no
// source position, where no NOLINT mark can reach it.
SECNATIVE_TARGET_SHA_INLINE __m128i add_lanes(__m128i a, __m128i b) {
    using Lanes = uint32_t __attribute__((vector_size(16)));
    return reinterpret_cast<__m128i>(reinterpret_cast<Lanes>(a) + reinterpret_cast<Lanes>(b));
}

// Sixteen message bytes as four big-endian words, the first in the top lane.
SECNATIVE_TARGET_SHA_INLINE __m128i load_words(const uint8_t* p) {
    const __m128i reverse_bytes =
        _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_shuffle_epi8(bytes, reverse_bytes);
}

}  // namespace

SECNATIVE_TARGET_SHA void sha1_ni_compress(uint32_t state[5], const uint8_t* data, size_t blocks) {
    __m128i abcd = _mm_set_epi32(static_cast<int>(state[0]), static_cast<int>(state[1]),
                                 static_cast<int>(state[2]), static_cast<int>(state[3]));
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    for (; blocks > 0; --blocks, data += kBlockSize) {
        Working s;
        s.abcd = abcd;
        s.w[0] = load_words(data);
        s.w[1] = load_words(data + 16);
        s.w[2] = load_words(data + 32);
        s.w[3] = load_words(data + 48);
        s.e[0] = add_lanes(e, s.w[0]);
        s.e[1] = _mm_setzero_si128();

        all_rounds(s, std::make_integer_sequence<int, kGroups>());

        // The last group left A from before round 76 in e[0]; rotated by 30
        // it is the final E.
        e = _mm_sha1nexte_epu32(s.e[0], e);
        abcd = add_lanes(s.abcd, abcd);
    }

    state[0] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 3));
    state[1] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 2));
    state[2] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 1));
    state[3] = static_cast<uint32_t>(_mm_extract_epi32(abcd, 0));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace secnative::crypto

#endif  // SECNATIVE_SHA1_NI
