// VAES engine: ECB over many blocks, two blocks per 256-bit register.
//
// The 256-bit AESENC works on both 128-bit halves at once with the same
// throughput as the 128-bit form, so eight registers (sixteen blocks) go
// through every round together. A remainder runs as groups of eight, four and
// two blocks, and a last odd block in a 128-bit register.
#include "crypto/aes_ni.h"

#ifdef SECNATIVE_AES_NI

#include <immintrin.h>

#include "common/bytes.h"
#include "crypto/aes_rj.h"
#include "crypto/aes_rounds.h"

#define SECNATIVE_TARGET_VAES __attribute__((target("vaes,avx2,aes")))

namespace secnative::crypto {
namespace {

constexpr size_t kBlock = AES_BLOCK_SIZE;
constexpr size_t kPair = 2 * kBlock;
constexpr size_t kLanes = 8;  // registers in flight, two blocks each

// Each round key twice, once for each half of a register.
using RoundKeys = __m256i[AES_MAX_ROUNDS + 1];

// The bytes of every schedule word are turned round as for the 128-bit
// engine (its first byte is on top, which little-endian memory puts last),
// then the round key is copied to both halves. Once per call.
SECNATIVE_TARGET_VAES void load_round_keys(const uint32_t* rk, int nr, RoundKeys& keys) {
    const __m128i reverse_each_word =
        _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    for (int r = 0; r <= nr; ++r) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 4 * r));
        keys[r] = _mm256_broadcastsi128_si256(_mm_shuffle_epi8(words, reverse_each_word));
    }
}

// 2 * N blocks through all rounds. Every block is loaded before the first is
// stored, so in and out may be the same buffer.
template <bool kDecrypt, size_t N>
SECNATIVE_TARGET_VAES inline void transform_group(const RoundKeys& keys, int nr, const uint8_t* in,
                                                  uint8_t* out) {
    __m256i s[N];
#pragma GCC unroll 8
    for (size_t i = 0; i < N; ++i) {
        const __m256i pair = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + kPair * i));
        s[i] = _mm256_xor_si256(pair, keys[0]);
    }
    for (int r = 1; r < nr; ++r) {
        const __m256i key = keys[r];
#pragma GCC unroll 8
        for (size_t i = 0; i < N; ++i) {
            s[i] = kDecrypt ? _mm256_aesdec_epi128(s[i], key) : _mm256_aesenc_epi128(s[i], key);
        }
    }
#pragma GCC unroll 8
    for (size_t i = 0; i < N; ++i) {
        s[i] = kDecrypt ? _mm256_aesdeclast_epi128(s[i], keys[nr])
                        : _mm256_aesenclast_epi128(s[i], keys[nr]);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + kPair * i), s[i]);
    }
}

// The last odd block, in the low half of the keys.
template <bool kDecrypt>
SECNATIVE_TARGET_VAES inline void transform_single(const RoundKeys& keys, int nr, const uint8_t* in,
                                                   uint8_t* out) {
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    s = _mm_xor_si128(s, _mm256_castsi256_si128(keys[0]));
    for (int r = 1; r < nr; ++r) {
        const __m128i key = _mm256_castsi256_si128(keys[r]);
        s = kDecrypt ? _mm_aesdec_si128(s, key) : _mm_aesenc_si128(s, key);
    }
    const __m128i last = _mm256_castsi256_si128(keys[nr]);
    s = kDecrypt ? _mm_aesdeclast_si128(s, last) : _mm_aesenclast_si128(s, last);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), s);
}

template <bool kDecrypt>
SECNATIVE_TARGET_VAES void transform_blocks(const uint32_t* rk, int nr, const uint8_t* in,
                                            size_t blocks, uint8_t* out) {
    RoundKeys keys;
    load_round_keys(rk, nr, keys);
    const size_t pairs = blocks / 2;
    size_t done = 0;  // in pairs
    for (; pairs - done >= kLanes; done += kLanes) {
        transform_group<kDecrypt, kLanes>(keys, nr, in + kPair * done, out + kPair * done);
    }
    const size_t rest = pairs - done;
    if (rest & 4) {
        transform_group<kDecrypt, 4>(keys, nr, in + kPair * done, out + kPair * done);
        done += 4;
    }
    if (rest & 2) {
        transform_group<kDecrypt, 2>(keys, nr, in + kPair * done, out + kPair * done);
        done += 2;
    }
    if (rest & 1) {
        transform_group<kDecrypt, 1>(keys, nr, in + kPair * done, out + kPair * done);
        done += 1;
    }
    if (blocks & 1) transform_single<kDecrypt>(keys, nr, in + kPair * done, out + kPair * done);
    secure_wipe_object(keys);
}

}  // namespace

// A round count no set-up returns goes to the 128-bit engine, which hands it
// on to the table engine's guarded answer.
void aes_vaes_encrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                             uint8_t* out) {
    if (aes_rounds_supported(nr)) {
        transform_blocks<false>(rk, nr, in, blocks, out);
    } else {
        aes_ni_encrypt_blocks(rk, nr, in, blocks, out);
    }
}

void aes_vaes_decrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                             uint8_t* out) {
    if (aes_rounds_supported(nr)) {
        transform_blocks<true>(rk, nr, in, blocks, out);
    } else {
        aes_ni_decrypt_blocks(rk, nr, in, blocks, out);
    }
}

}  // namespace secnative::crypto

#endif  // SECNATIVE_AES_NI
