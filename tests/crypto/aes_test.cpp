// Tests of the table-driven AES engine: known answers for all three key
// sizes in both directions, the limits of the key set-up, guarded round
// counts, and the constant tables against the published S-boxes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "crypto/aes_rj.h"
#include "crypto/aes_tables.h"
#include "support/guarded_bytes.h"
#include "support/hex.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Schedule = std::vector<uint32_t>;
using secnative::test::from_hex;
using secnative::test::GuardedBytes;
using secnative::test::to_hex;

constexpr uint32_t kSentinel = 0xdeadbeef;

// Blocks are compared as hex so that a failure prints both readably.
std::string block_hex(const Bytes& bytes, size_t block) {
    return to_hex(bytes.data() + 16 * block, 16);
}

int expected_rounds(int key_bits) {
    return key_bits / 32 + 6;
}

struct KnownAnswer {
    const char* name;
    int key_bits;
    const char* key;
    const char* plaintext;   // one or more 16-byte blocks
    const char* ciphertext;  // each block enciphered on its own (ECB)
};

const KnownAnswer kKnownAnswers[] = {
    // From FIPS-197, Appendix C.1 to C.3.
    {"fips197_c1", 128, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"fips197_c2", 192, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"fips197_c3", 256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    // Random keys and blocks from `openssl rand -hex`, enciphered once with
    // `openssl enc -aes-<bits>-ecb -nopad -K <key>` (OpenSSL 3.0.19).
    {"openssl_128a", 128, "bc1ce38711b8308b21cf5d2e8d35effb",
     "f05ccad05212948e7a80e680427367632ee9d846ba555e1812e4937c43223945030384176365a18148a7884821bd3"
     "801",
     "73a68c03f1cf07f8052afaf058cdbc6dad2de2e0e7faf512833c28317ae0219244c7787bd9ab1ed2633dbf7c69a40"
     "f18"},
    {"openssl_128b", 128, "46fbdc01426a0a5f1ef0d507b180da79",
     "70c8248f78f343efbeb8dd1883024299d353f5851876fdb38ebb03752804d3baea824fbc346a2c4e42ebc2631c048"
     "592",
     "80026f8aceed90efc223122a174f248ac948e66aa2cf28e16ade5dc3b8aca818309328d9399b32a9ccf52b45f182d"
     "cfe"},
    {"openssl_192a", 192, "0bbd76780670cadae84c0ff8618a8898d7c7b076ad93be10",
     "6d4fbc5fca23b30d9172647d8a0496bb2e089050c0371b6bf4eb925d57c0be726c06ad85d95178d6081910ec36b84"
     "637",
     "3895802fee8b48e7597ad523637463f86f004d73a17166dd588e948b5d98f835af8f989052b39c96870eeb15caf6c"
     "c96"},
    {"openssl_192b", 192, "1981fdd7114fa58cdc7013e3fec8f2aef203e36572b506c1",
     "065b6b8c51fc7a3c66cc7d98143a159e860966ac02f9d1773b773e76cee784111fdc77955fb4417b84b8d737e52cb"
     "d00",
     "816d8e18931920c69c3f046288c17f607e52afabbfe99d753b573e3f5f3a0a9604c5c6ec152a2298a9c278f459f62"
     "722"},
    {"openssl_256a", 256, "633118c20a57fa299fd2e99c64bd355f6b7e7f9ebbf8f792e6220c4a88d1fe01",
     "b085b77ff3c0ace3af6621d0dac80de324c719342d77b381caf54a8b2bea75eff8aab8fe0dad40cfd12eb21284922"
     "82b",
     "367f890d033f00e30d1ca61e048cb8f04666ba999daf34c5afbae4d5f5e715e13b5820f1084cfe2fd4c34f824b996"
     "03f"},
    {"openssl_256b", 256, "77e83c94d483eb8187996349c8726bb62767a99d5799fde8cb40237dd5d95547",
     "dc158c065c95b08f5b13876ebc021e50f1ad3dc988e865e461854470c486954804ca60f2871a0bd556926ededece4"
     "040",
     "43f13fa8e1915bfdebdefe38bf1adc0d522f44e93d1aa2cfbfb82252d83fe524fafc1bd6a1244c7acacba06db8aff"
     "7da"},
};

// Lets a failing parameterised test name its vector instead of dumping bytes.
void PrintTo(const KnownAnswer& v, std::ostream* os) {
    *os << v.name;
}

using BlockFunction = void (*)(const uint32_t*, int, const uint8_t*, uint8_t*);
using SetupFunction = int (*)(uint32_t*, const uint8_t*, int);

// Transforms every block of `input` twice, into a separate buffer and in
// place, and checks both against `expected`.
void check_blocks(SetupFunction setup, BlockFunction transform, const KnownAnswer& v,
                  const Bytes& input, const Bytes& expected) {
    const Bytes key = from_hex(v.key);
    Schedule rk(AES_SCHEDULE_WORDS);
    const int nr = setup(rk.data(), key.data(), v.key_bits);
    ASSERT_EQ(nr, expected_rounds(v.key_bits));
    ASSERT_EQ(input.size(), expected.size());
    ASSERT_EQ(input.size() % 16, 0u);

    Bytes separate(input.size());
    Bytes in_place = input;
    for (size_t block = 0; block < input.size() / 16; ++block) {
        transform(rk.data(), nr, input.data() + 16 * block, separate.data() + 16 * block);
        transform(rk.data(), nr, in_place.data() + 16 * block, in_place.data() + 16 * block);
        EXPECT_EQ(block_hex(separate, block), block_hex(expected, block)) << "block " << block;
        EXPECT_EQ(block_hex(in_place, block), block_hex(expected, block))
            << "in place, block " << block;
    }
}

class AesKnownAnswer : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(AesKnownAnswer, Encrypts) {
    const KnownAnswer& v = GetParam();
    check_blocks(AES_init_encrypt, AES_encrypt_rj, v, from_hex(v.plaintext),
                 from_hex(v.ciphertext));
}

TEST_P(AesKnownAnswer, Decrypts) {
    const KnownAnswer& v = GetParam();
    check_blocks(AES_init_decrypt, AES_decrypt_rj, v, from_hex(v.ciphertext),
                 from_hex(v.plaintext));
}

INSTANTIATE_TEST_SUITE_P(Vectors, AesKnownAnswer, ::testing::ValuesIn(kKnownAnswers),
                         [](const auto& test) { return std::string(test.param.name); });

// Each supported size on random keys and blocks: decryption undoes encryption.
TEST(AesRoundTrip, RandomKeysAndBlocks) {
    std::mt19937 random(197);
    for (int key_bits : {128, 192, 256}) {
        for (int trial = 0; trial < 50; ++trial) {
            Bytes key(key_bits / 8), block(16);
            for (auto& b : key) b = static_cast<uint8_t>(random());
            for (auto& b : block) b = static_cast<uint8_t>(random());
            Schedule enc(AES_SCHEDULE_WORDS), dec(AES_SCHEDULE_WORDS);
            const int nr = AES_init_encrypt(enc.data(), key.data(), key_bits);
            ASSERT_EQ(AES_init_decrypt(dec.data(), key.data(), key_bits), nr);
            uint8_t cipher[16], back[16];
            AES_encrypt_rj(enc.data(), nr, block.data(), cipher);
            AES_decrypt_rj(dec.data(), nr, cipher, back);
            EXPECT_NE(to_hex(cipher, 16), to_hex(block.data(), 16));
            EXPECT_EQ(to_hex(back, 16), to_hex(block.data(), 16)) << key_bits << "-bit key";
        }
    }
}

// The key buffer is exactly as long as the bit count says and ends at a
// guard page, so a set-up that read key bytes before refusing the length
// would fault.
class AesRefusedKeyLength : public ::testing::TestWithParam<int> {};

TEST_P(AesRefusedKeyLength, ReturnsZeroAndLeavesScheduleUntouched) {
    const int key_bits = GetParam();
    GuardedBytes key(key_bits > 0 ? static_cast<size_t>(key_bits + 7) / 8 : 0);
    std::memset(key.data(), 0x5a, key.size());
    for (SetupFunction setup : {AES_init_encrypt, AES_init_decrypt}) {
        Schedule rk(AES_SCHEDULE_WORDS, kSentinel);
        EXPECT_EQ(setup(rk.data(), key.size() ? key.data() : nullptr, key_bits), 0);
        EXPECT_EQ(rk, Schedule(AES_SCHEDULE_WORDS, kSentinel));
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, AesRefusedKeyLength,
                         ::testing::Values(0, 64, 100, 127, 129, 160, 255, 257, 512, -128),
                         [](const auto& test) {
                             const int bits = test.param;
                             return (bits < 0 ? "minus" : "bits") +
                                    std::to_string(bits < 0 ? -bits : bits);
                         });

struct ScheduleExtent {
    int key_bits;
    size_t words_used;
    uint32_t first_word;         // key bytes 0..3, top byte first
    const char* last_round_key;  // round[Nr].k_sch of FIPS-197 Appendix C
};

void PrintTo(const ScheduleExtent& e, std::ostream* os) {
    *os << e.key_bits << "-bit key";
}

class AesScheduleExtent : public ::testing::TestWithParam<ScheduleExtent> {};

// A buffer longer than 60 words shows both that the words after the used
// ones keep their content and that no set-up writes past 60.
TEST_P(AesScheduleExtent, FillsExactlyTheRoundKeys) {
    const ScheduleExtent& e = GetParam();
    Bytes key(e.key_bits / 8);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(i);
    const Bytes last_key = from_hex(e.last_round_key);
    const uint32_t last_word0 = (uint32_t{last_key[0]} << 24) | (uint32_t{last_key[1]} << 16) |
                                (uint32_t{last_key[2]} << 8) | last_key[3];
    const size_t buffer_words = AES_SCHEDULE_WORDS + 4;

    Schedule enc(buffer_words, kSentinel), dec(buffer_words, kSentinel);
    ASSERT_EQ(AES_init_encrypt(enc.data(), key.data(), e.key_bits), expected_rounds(e.key_bits));
    ASSERT_EQ(AES_init_decrypt(dec.data(), key.data(), e.key_bits), expected_rounds(e.key_bits));
    EXPECT_EQ(enc[0], e.first_word);
    EXPECT_EQ(enc[e.words_used - 4], last_word0);
    EXPECT_EQ(dec[0], last_word0);  // decryption starts from the last round key
    EXPECT_EQ(dec[e.words_used - 4], e.first_word);
    for (size_t i = e.words_used; i < buffer_words; ++i) {
        EXPECT_EQ(enc[i], kSentinel) << "encryption schedule word " << i;
        EXPECT_EQ(dec[i], kSentinel) << "decryption schedule word " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AesScheduleExtent,
    ::testing::Values(ScheduleExtent{128, 44, 0x00010203, "13111d7fe3944a17f307a78b4d2b30c5"},
                      ScheduleExtent{192, 52, 0x00010203, "a4970a331a78dc09c418c271e3a41d5d"},
                      ScheduleExtent{256, 60, 0x00010203, "24fc79ccbf0979e9371ac23c6d68de36"}),
    [](const auto& test) { return "bits" + std::to_string(test.param.key_bits); });

// A round count no set-up returns must neither read past the schedule (it is
// exactly 60 words here, ending at a guard page) nor leave the input in the
// output buffer.
TEST(AesBlockGuard, UnsupportedRoundCountWritesZeroBlock) {
    const Bytes key = from_hex("000102030405060708090a0b0c0d0e0f");
    GuardedBytes schedule(AES_SCHEDULE_WORDS * sizeof(uint32_t));
    uint32_t* rk = schedule.as<uint32_t>();
    ASSERT_EQ(AES_init_encrypt(rk, key.data(), 128), 10);
    for (BlockFunction transform : {AES_encrypt_rj, AES_decrypt_rj}) {
        for (int nr : {0, 1, 8, 11, 16, 100, -2}) {
            Bytes block = from_hex("00112233445566778899aabbccddeeff");
            transform(rk, nr, block.data(), block.data());
            EXPECT_EQ(to_hex(block.data(), 16), std::string(32, '0')) << "nr " << nr;
        }
    }
}

// From FIPS-197, Figure 7 (S-box) and Figure 14 (inverse S-box), row by row.
const uint8_t kSbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

const uint8_t kInverseSbox[256] = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// Schoolbook GF(2^8) product, independent of the engine's table builder.
uint8_t gf_product(uint8_t a, uint8_t b) {
    unsigned product = 0;
    for (unsigned shifted = a; b != 0; b >>= 1, shifted <<= 1) {
        if (b & 1) product ^= shifted;
    }
    for (int bit = 14; bit >= 8; --bit) {  // reduce modulo x^8 + x^4 + x^3 + x + 1
        if (product & (1u << bit)) product ^= 0x11bu << (bit - 8);
    }
    return static_cast<uint8_t>(product);
}

uint32_t column(const uint8_t (&box)[256], unsigned x, uint8_t m0, uint8_t m1, uint8_t m2,
                uint8_t m3) {
    const uint8_t s = box[x];
    return (uint32_t{gf_product(s, m0)} << 24) | (uint32_t{gf_product(s, m1)} << 16) |
           (uint32_t{gf_product(s, m2)} << 8) | gf_product(s, m3);
}

uint32_t rotate_right(uint32_t w, int n) {
    return n == 0 ? w : (w >> n) | (w << (32 - n));
}

struct TableRule {
    const char* name;
    const secnative::AesTable* table;
    bool inverse;  // built on the inverse S-box
    int rotation;
    bool spread;  // the box byte in all four positions instead of a column
};

// Every entry of the ten tables, rebuilt from the printed S-boxes.
TEST(AesTables, MatchThePrintedSboxes) {
    using namespace secnative;
    const TableRule rules[] = {
        {"Te0", &Te0, false, 0, false},  {"Te1", &Te1, false, 8, false},
        {"Te2", &Te2, false, 16, false}, {"Te3", &Te3, false, 24, false},
        {"Te4", &Te4, false, 0, true},   {"Td0", &Td0, true, 0, false},
        {"Td1", &Td1, true, 8, false},   {"Td2", &Td2, true, 16, false},
        {"Td3", &Td3, true, 24, false},  {"Td4", &Td4, true, 0, true},
    };
    for (const TableRule& rule : rules) {
        const uint8_t(&box)[256] = rule.inverse ? kInverseSbox : kSbox;
        for (unsigned x = 0; x < 256; ++x) {
            uint32_t expected = box[x] * 0x01010101u;
            if (!rule.spread) {
                expected =
                    rule.inverse ? column(box, x, 14, 9, 13, 11) : column(box, x, 2, 1, 1, 3);
                expected = rotate_right(expected, rule.rotation);
            }
            ASSERT_EQ((*rule.table)[x], expected) << rule.name << "[" << x << "]";
        }
    }
}

TEST(AesTables, WellKnownEntries) {
    using namespace secnative;
    EXPECT_EQ(Te0[0x00], 0xc66363a5u);
    EXPECT_EQ(Te0[0x01], 0xf87c7c84u);
    EXPECT_EQ(Te0[0xff], 0x2c16163au);
    EXPECT_EQ(Te1[0x00], 0xa5c66363u);
    EXPECT_EQ(Te3[0x00], 0x6363a5c6u);
    EXPECT_EQ(Td0[0x00], 0x51f4a750u);
    EXPECT_EQ(Td0[0x01], 0x7e416553u);
    EXPECT_EQ(Td0[0xff], 0xd0b85742u);
    EXPECT_EQ(Td1[0x00], 0x5051f4a7u);
    EXPECT_EQ(Td3[0x00], 0xf4a75051u);
    const uint32_t round_constants[10] = {0x01, 0x02, 0x04, 0x08, 0x10,
                                          0x20, 0x40, 0x80, 0x1b, 0x36};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rcon[i], round_constants[i] << 24) << "rcon " << i;
}

}  // namespace
