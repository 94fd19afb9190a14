// SHA-1 (FIPS 180-1): the incremental interface and the portable compression
// function.
//
// The context keeps the unhashed tail of the message as bytes in message
// order. A full block is read as sixteen big-endian words through load32_be
// as it is compressed, and the digest leaves through store32_be, so the same
// code gives the same digest on little- and big-endian hosts without asking
// the host which one it is. Whole blocks of the caller's input are compressed
// where they lie; only a partial block goes through the context.
//
// x86-64 processors with the SHA extensions compress on those instead
// (sha1_ni.cpp); each update or final call picks one compression function.
#include "crypto/sha1.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "common/bytes.h"
#include "crypto/cpu_features.h"
#include "crypto/sha1_ni.h"

// The block is addressed as bytes through an unsigned char pointer, which may
// alias the uint32_t array; load32_be and store32_be take uint8_t pointers, so
// uint8_t must be that same character type.
static_assert(std::is_same<uint8_t, unsigned char>::value, "uint8_t must be unsigned char");

namespace {

using secnative::load32_be;
using secnative::store32_be;

constexpr uint32_t kBlockSize = SHA1_BLOCK_SIZE;
// The last 8 bytes of the final block carry the message length in bits.
constexpr uint32_t kLengthOffset = kBlockSize - 8;

unsigned char* block_bytes(sha1_context* ctx) {
    return reinterpret_cast<unsigned char*>(ctx->block);
}

inline uint32_t rotl(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// The round functions of the four groups of twenty rounds.
inline uint32_t choose(uint32_t x, uint32_t y, uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline uint32_t parity(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t majority(uint32_t x, uint32_t y, uint32_t z) {
    return (x & y) | (z & (x | y));
}

// Message schedule word t (16..79), kept in a ring of the last sixteen words:
// W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]). The ring gives the same
// words as a full 80-word schedule with a quarter of the stack.
inline uint32_t schedule(uint32_t* w, int t) {
    w[t & 15] = rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
    return w[t & 15];
}

// One round. Instead of shifting the five working variables along, each
// round call names them in rotated order, so only e and b change here.
#define SHA1_ROUND(f, k, a, b, c, d, e, word)        \
    do {                                             \
        e += rotl(a, 5) + f(b, c, d) + (k) + (word); \
        b = rotl(b, 30);                             \
    } while (0)

#define R0(a, b, c, d, e, t) SHA1_ROUND(choose, 0x5A827999u, a, b, c, d, e, w[t])
#define R1(a, b, c, d, e, t) SHA1_ROUND(choose, 0x5A827999u, a, b, c, d, e, schedule(w, t))
#define R2(a, b, c, d, e, t) SHA1_ROUND(parity, 0x6ED9EBA1u, a, b, c, d, e, schedule(w, t))
#define R3(a, b, c, d, e, t) SHA1_ROUND(majority, 0x8F1BBCDCu, a, b, c, d, e, schedule(w, t))
#define R4(a, b, c, d, e, t) SHA1_ROUND(parity, 0xCA62C1D6u, a, b, c, d, e, schedule(w, t))

// Five rounds starting at round t; after five the names are back in place.
#define FIVE_ROUNDS(R, t)    \
    R(a, b, c, d, e, t);     \
    R(e, a, b, c, d, t + 1); \
    R(d, e, a, b, c, t + 2); \
    R(c, d, e, a, b, t + 3); \
    R(b, c, d, e, a, t + 4)

// Compresses one 64-byte block into the chaining values. The bytes are read
// one at a time, so the block may lie at any address.
void compress_one(uint32_t state[5], const unsigned char* block) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = load32_be(block + 4 * i);

    uint32_t a = state[0];
    uint32_t b = state[1];
    uint32_t c = state[2];
    uint32_t d = state[3];
    uint32_t e = state[4];

    // Rounds 0..19: choose; the first sixteen use the block words directly.
    FIVE_ROUNDS(R0, 0);
    FIVE_ROUNDS(R0, 5);
    FIVE_ROUNDS(R0, 10);
    R0(a, b, c, d, e, 15);
    R1(e, a, b, c, d, 16);
    R1(d, e, a, b, c, 17);
    R1(c, d, e, a, b, 18);
    R1(b, c, d, e, a, 19);
    // Rounds 20..39: parity.
    FIVE_ROUNDS(R2, 20);
    FIVE_ROUNDS(R2, 25);
    FIVE_ROUNDS(R2, 30);
    FIVE_ROUNDS(R2, 35);
    // Rounds 40..59: majority.
    FIVE_ROUNDS(R3, 40);
    FIVE_ROUNDS(R3, 45);
    FIVE_ROUNDS(R3, 50);
    FIVE_ROUNDS(R3, 55);
    // Rounds 60..79: parity.
    FIVE_ROUNDS(R4, 60);
    FIVE_ROUNDS(R4, 65);
    FIVE_ROUNDS(R4, 70);
    FIVE_ROUNDS(R4, 75);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

#undef FIVE_ROUNDS
#undef R4
#undef R3
#undef R2
#undef R1
#undef R0
#undef SHA1_ROUND

// Compresses `blocks` whole blocks from data into the chaining values.
using CompressFunction = void (*)(uint32_t state[5], const unsigned char* data, size_t blocks);

void compress_portable(uint32_t state[5], const unsigned char* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += kBlockSize) compress_one(state, data);
}

// The compression function for this call: the processor's SHA instructions
// where they are usable, the portable code everywhere else.
CompressFunction pick_compress() {
#ifdef SECNATIVE_SHA1_NI
    if ((secnative::crypto::cpu_features() & secnative::crypto::kCpuSha) != 0) {
        return secnative::crypto::sha1_ni_compress;
    }
#endif
    return compress_portable;
}

}  // namespace

extern "C" {

void sha1_init(sha1_context* ctx) {
    ctx->digest[0] = 0x67452301u;
    ctx->digest[1] = 0xEFCDAB89u;
    ctx->digest[2] = 0x98BADCFEu;
    ctx->digest[3] = 0x10325476u;
    ctx->digest[4] = 0xC3D2E1F0u;
    ctx->bit_count_low = 0;
    ctx->bit_count_high = 0;
    ctx->block_used = 0;
}

void sha1_update(sha1_context* ctx, const uint8_t* data, uint32_t len) {
    // Nothing to feed. Returning here also keeps a null data pointer, which
    // is allowed with len 0, away from memcpy.
    if (len == 0) return;

    // The bit count is 64 bits kept in two words: carry out of the low word,
    // and the bits of len * 8 that do not fit in 32.
    const uint32_t old_low = ctx->bit_count_low;
    ctx->bit_count_low = old_low + (len << 3);
    if (ctx->bit_count_low < old_low) ++ctx->bit_count_high;
    ctx->bit_count_high += len >> 29;

    const CompressFunction compress = pick_compress();
    unsigned char* block = block_bytes(ctx);
    if (ctx->block_used > 0) {
        // Top up the partly filled block first.
        const uint32_t used = static_cast<uint32_t>(ctx->block_used);
        const uint32_t n = (len < kBlockSize - used) ? len : kBlockSize - used;
        std::memcpy(block + used, data, n);
        ctx->block_used = static_cast<int32_t>(used + n);
        if (used + n < kBlockSize) return;
        data += n;
        len -= n;
        compress(ctx->digest, block, 1);
    }
    // Whole blocks are compressed straight from the input, at any alignment.
    const uint32_t whole = len / kBlockSize;
    if (whole > 0) {
        compress(ctx->digest, data, whole);
        data += whole * kBlockSize;
        len -= whole * kBlockSize;
        // ctx->block ends up holding the last whole block under the tail, as
        // if every block had been copied into it: what the context holds
        // after a call does not depend on how the message was split.
        std::memcpy(block + len, data - kBlockSize + len, kBlockSize - len);
    }
    std::memcpy(block, data, len);
    ctx->block_used = static_cast<int32_t>(len);
}

void sha1_final(sha1_context* ctx, uint8_t out[20]) {
    const CompressFunction compress = pick_compress();
    unsigned char* block = block_bytes(ctx);
    // Bytes held, taken from the bit count.
    const uint32_t pos = (ctx->bit_count_low >> 3) & (kBlockSize - 1);

    // Padding: one 0x80 byte, zeros, then the 64-bit bit count. When the
    // count no longer fits behind the 0x80 byte (56 or more bytes held), the
    // padding spills into one more block.
    block[pos] = 0x80;
    if (pos + 1 > kLengthOffset) {
        std::memset(block + pos + 1, 0, kBlockSize - (pos + 1));
        compress(ctx->digest, block, 1);
        std::memset(block, 0, kLengthOffset);
    } else {
        std::memset(block + pos + 1, 0, kLengthOffset - (pos + 1));
    }
    store32_be(block + kLengthOffset, ctx->bit_count_high);
    store32_be(block + kLengthOffset + 4, ctx->bit_count_low);
    compress(ctx->digest, block, 1);

    for (int i = 0; i < 5; ++i) store32_be(out + 4 * i, ctx->digest[i]);
}

}  // extern "C"
