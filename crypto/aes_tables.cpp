// Compile-time construction of the AES tables from GF(2^8) arithmetic.
//
// The source keeps the rule rather than 10 KiB of literals: the S-box is the
// multiplicative inverse followed by the affine map, every other table is
// built from it. All of it is evaluated by the compiler (constexpr), so the
// tables are constant-initialised read-only data with no start-up cost and
// no initialisation-order hazard.
#include "crypto/aes_tables.h"

namespace secnative {
namespace {

// Multiplication by x modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    for (; b != 0; b >>= 1) {
        if (b & 1) product ^= a;
        a = xtime(a);
    }
    return product;
}

// a^254 = a^-1 in the multiplicative group of GF(2^8); maps 0 to 0 as the
// S-box requires.
constexpr uint8_t gf_inverse(uint8_t a) {
    uint8_t result = 1;
    for (unsigned exponent = 254; exponent != 0; exponent >>= 1) {
        if (exponent & 1) result = gf_mul(result, a);
        a = gf_mul(a, a);
    }
    return result;
}

constexpr uint8_t rotl8(uint8_t b, int n) {
    return static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

// The S-box's affine map over GF(2).
constexpr uint8_t affine(uint8_t b) {
    return static_cast<uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^ 0x63);
}

struct SubstitutionBoxes {
    std::array<uint8_t, 256> forward{};
    std::array<uint8_t, 256> inverse{};
};

constexpr SubstitutionBoxes make_substitution_boxes() {
    SubstitutionBoxes boxes;
    for (unsigned x = 0; x < 256; ++x) {
        const uint8_t s = affine(gf_inverse(static_cast<uint8_t>(x)));
        boxes.forward[x] = s;
        boxes.inverse[s] = static_cast<uint8_t>(x);
    }
    return boxes;
}

constexpr SubstitutionBoxes kBoxes = make_substitution_boxes();
static_assert(kBoxes.forward[0x00] == 0x63 && kBoxes.forward[0x53] == 0xed, "S-box");
static_assert(kBoxes.inverse[0x63] == 0x00 && kBoxes.inverse[0xed] == 0x53, "inverse S-box");

constexpr uint32_t pack(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | uint32_t{b3};
}

constexpr uint32_t rotr32(uint32_t w, int n) {
    return n == 0 ? w : (w >> n) | (w << (32 - n));
}

constexpr uint32_t te0_entry(uint8_t x) {
    const uint8_t s = kBoxes.forward[x];
    return pack(gf_mul(s, 2), s, s, gf_mul(s, 3));
}

constexpr uint32_t td0_entry(uint8_t x) {
    const uint8_t si = kBoxes.inverse[x];
    return pack(gf_mul(si, 14), gf_mul(si, 9), gf_mul(si, 13), gf_mul(si, 11));
}

// Round tables: the column entry rotated right by `rotation` bits.
constexpr AesTable make_round_table(uint32_t (*column_entry)(uint8_t), int rotation) {
    AesTable table{};
    for (unsigned x = 0; x < 256; ++x)
        table[x] = rotr32(column_entry(static_cast<uint8_t>(x)), rotation);
    return table;
}

// Last-round tables: the substituted byte repeated in all four positions.
constexpr AesTable make_spread_table(const std::array<uint8_t, 256>& box) {
    AesTable table{};
    for (unsigned x = 0; x < 256; ++x) table[x] = box[x] * 0x01010101u;
    return table;
}

constexpr std::array<uint32_t, 10> make_rcon() {
    std::array<uint32_t, 10> constants{};
    uint8_t power = 1;
    for (auto& constant : constants) {
        constant = uint32_t{power} << 24;
        power = xtime(power);
    }
    return constants;
}

}  // namespace

constexpr AesTable Te0 = make_round_table(te0_entry, 0);
constexpr AesTable Te1 = make_round_table(te0_entry, 8);
constexpr AesTable Te2 = make_round_table(te0_entry, 16);
constexpr AesTable Te3 = make_round_table(te0_entry, 24);
constexpr AesTable Te4 = make_spread_table(kBoxes.forward);

constexpr AesTable Td0 = make_round_table(td0_entry, 0);
constexpr AesTable Td1 = make_round_table(td0_entry, 8);
constexpr AesTable Td2 = make_round_table(td0_entry, 16);
constexpr AesTable Td3 = make_round_table(td0_entry, 24);
constexpr AesTable Td4 = make_spread_table(kBoxes.inverse);

constexpr std::array<uint32_t, 10> rcon = make_rcon();

static_assert(Te0[0] == 0xc66363a5 && Td0[0] == 0x51f4a750, "round tables");

}  // namespace secnative
