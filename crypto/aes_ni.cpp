// AES-NI engine: ECB over many blocks, one block per 128-bit register.
//
// AESENC has a latency of several cycles but the processor starts one or two
// each cycle, so eight independent blocks go through every round together;
// a remainder below eight runs as groups of four, two and one.
#include "crypto/aes_ni.h"

#ifdef SECNATIVE_AES_NI

#include <immintrin.h>

#include "common/bytes.h"
#include "crypto/aes_rj.h"
#include "crypto/aes_rounds.h"

#define SECNATIVE_TARGET_AES_NI __attribute__((target("aes,sse4.1")))

namespace secnative::crypto {
namespace {

constexpr size_t kBlock = AES_BLOCK_SIZE;
constexpr size_t kLanes = 8;

using RoundKeys = __m128i[AES_MAX_ROUNDS + 1];

// A schedule word holds the first of its four bytes on top. Loaded from
// memory on this little-endian machine that byte lands last of the four, so
// the bytes of every word are turned round into the order of the block bytes
// the instructions work on. Done once per call, not once per block.
SECNATIVE_TARGET_AES_NI void load_round_keys(const uint32_t* rk, int nr, RoundKeys& keys) {
    const __m128i reverse_each_word =
        _mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
    for (int r = 0; r <= nr; ++r) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 4 * r));
        keys[r] = _mm_shuffle_epi8(words, reverse_each_word);
    }
}

// N blocks through all rounds. Every block is loaded before the first is
// stored, so in and out may be the same buffer.
template <bool kDecrypt, size_t N>
SECNATIVE_TARGET_AES_NI inline void transform_group(const RoundKeys& keys, int nr,
                                                    const uint8_t* in, uint8_t* out) {
    __m128i s[N];
#pragma GCC unroll 8
    for (size_t i = 0; i < N; ++i) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + kBlock * i));
        s[i] = _mm_xor_si128(block, keys[0]);
    }
    for (int r = 1; r < nr; ++r) {
        const __m128i key = keys[r];
#pragma GCC unroll 8
        for (size_t i = 0; i < N; ++i) {
            s[i] = kDecrypt ? _mm_aesdec_si128(s[i], key) : _mm_aesenc_si128(s[i], key);
        }
    }
#pragma GCC unroll 8
    for (size_t i = 0; i < N; ++i) {
        s[i] =
            kDecrypt ? _mm_aesdeclast_si128(s[i], keys[nr]) : _mm_aesenclast_si128(s[i], keys[nr]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kBlock * i), s[i]);
    }
}

template <bool kDecrypt>
SECNATIVE_TARGET_AES_NI void transform_blocks(const uint32_t* rk, int nr, const uint8_t* in,
                                              size_t blocks, uint8_t* out) {
    RoundKeys keys;
    load_round_keys(rk, nr, keys);
    size_t done = 0;
    for (; blocks - done >= kLanes; done += kLanes) {
        transform_group<kDecrypt, kLanes>(keys, nr, in + kBlock * done, out + kBlock * done);
    }
    const size_t rest = blocks - done;
    if (rest & 4) {
        transform_group<kDecrypt, 4>(keys, nr, in + kBlock * done, out + kBlock * done);
        done += 4;
    }
    if (rest & 2) {
        transform_group<kDecrypt, 2>(keys, nr, in + kBlock * done, out + kBlock * done);
        done += 2;
    }
    if (rest & 1) transform_group<kDecrypt, 1>(keys, nr, in + kBlock * done, out + kBlock * done);
    secure_wipe_object(keys);
}

// A round count no set-up returns: the table engine's guarded answer.
template <bool kDecrypt>
void table_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks, uint8_t* out) {
    for (size_t i = 0; i < blocks; ++i) {
        if (kDecrypt) {
            AES_decrypt_rj(rk, nr, in + kBlock * i, out + kBlock * i);
        } else {
            AES_encrypt_rj(rk, nr, in + kBlock * i, out + kBlock * i);
        }
    }
}

}  // namespace

void aes_ni_encrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                           uint8_t* out) {
    if (aes_rounds_supported(nr)) {
        transform_blocks<false>(rk, nr, in, blocks, out);
    } else {
        table_blocks<false>(rk, nr, in, blocks, out);
    }
}

void aes_ni_decrypt_blocks(const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                           uint8_t* out) {
    if (aes_rounds_supported(nr)) {
        transform_blocks<true>(rk, nr, in, blocks, out);
    } else {
        table_blocks<true>(rk, nr, in, blocks, out);
    }
}

}  // namespace secnative::crypto

#endif  // SECNATIVE_AES_NI
