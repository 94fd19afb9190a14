// The AES instruction engines against the table engine: all three key sizes,
// both directions, random block counts, offsets and in-place use, all from
// the one schedule that the table engine's set-up writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "crypto/aes_ni.h"
#include "crypto/aes_rj.h"
#include "crypto/cpu_features.h"
#include "support/guarded_bytes.h"
#include "support/hex.h"

namespace secnative::test {
namespace {

using Bytes = std::vector<uint8_t>;
using BulkFunction = void (*)(const uint32_t*, int, const uint8_t*, size_t, uint8_t*);

struct Engine {
    const char* name;
    uint32_t feature;  // what cpu_features() must report before a call
    BulkFunction encrypt;
    BulkFunction decrypt;
};

#ifdef SECNATIVE_AES_NI
const Engine kEngines[] = {
    {"aes_ni", crypto::kCpuAes, crypto::aes_ni_encrypt_blocks, crypto::aes_ni_decrypt_blocks},
    {"vaes_avx2", crypto::kCpuVaesAvx2, crypto::aes_vaes_encrypt_blocks,
     crypto::aes_vaes_decrypt_blocks},
};
#else
const Engine kEngines[] = {{"aes_ni", crypto::kCpuAes, nullptr, nullptr},
                           {"vaes_avx2", crypto::kCpuVaesAvx2, nullptr, nullptr}};
#endif

void PrintTo(const Engine& engine, std::ostream* os) {
    *os << engine.name;
}

// Below every group size of both engines, across them, and well beyond.
const size_t kBlockCounts[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  15,  16,
                               17, 18, 23, 24, 31, 32, 33, 47, 63, 65, 4099};

void table_blocks(bool decrypting, const uint32_t* rk, int nr, const uint8_t* in, size_t blocks,
                  uint8_t* out) {
    for (size_t i = 0; i < blocks; ++i) {
        (decrypting ? AES_decrypt_rj : AES_encrypt_rj)(rk, nr, in + 16 * i, out + 16 * i);
    }
}

// Index of the first 16-byte block where a and b differ, or -1.
long first_bad_block(const uint8_t* a, const uint8_t* b, size_t blocks) {
    for (size_t i = 0; i < blocks; ++i) {
        if (!std::equal(a + 16 * i, a + 16 * i + 16, b + 16 * i)) return static_cast<long>(i);
    }
    return -1;
}

class AesEngine : public ::testing::TestWithParam<std::tuple<Engine, int>> {
  protected:
    const Engine& engine() const { return std::get<0>(GetParam()); }
    int key_bits() const { return std::get<1>(GetParam()); }

    void SetUp() override {
        if (engine().encrypt == nullptr) {
            GTEST_SKIP() << "no AES instruction engines in this build (x86-64 only)";
        }
        if ((crypto::cpu_features() & engine().feature) == 0) {
            GTEST_SKIP() << "this processor cannot run the " << engine().name << " engine";
        }
        random_.seed(static_cast<unsigned>(key_bits() + engine().feature));
        key_ = random_bytes(static_cast<size_t>(key_bits() / 8));
        nr_ = AES_init_encrypt(enc_, key_.data(), key_bits());
        ASSERT_EQ(nr_, key_bits() / 32 + 6);
        ASSERT_EQ(AES_init_decrypt(dec_, key_.data(), key_bits()), nr_);
    }

    Bytes random_bytes(size_t n) {
        Bytes out(n);
        for (auto& b : out) b = static_cast<uint8_t>(random_());
        return out;
    }

    // Runs `blocks` blocks through the engine from a random offset of one
    // buffer to a random offset of another (or in place) and compares them
    // with the table engine; the bytes around the output stay as they were.
    void check_against_table(bool decrypting, size_t blocks, bool in_place) {
        SCOPED_TRACE(std::string(decrypting ? "decrypt " : "encrypt ") + std::to_string(blocks) +
                     " blocks" + (in_place ? " in place" : ""));
        const uint32_t* rk = decrypting ? dec_ : enc_;
        const size_t len = 16 * blocks;
        const size_t in_offset = random_() % 32;
        const Bytes input = random_bytes(in_offset + len + 32);
        Bytes expected(len);
        table_blocks(decrypting, rk, nr_, input.data() + in_offset, blocks, expected.data());

        const size_t out_offset = in_place ? in_offset : random_() % 32;
        Bytes output = in_place ? input : random_bytes(out_offset + len + 32);
        const Bytes before = output;
        const uint8_t* source = in_place ? output.data() + in_offset : input.data() + in_offset;
        (decrypting ? engine().decrypt : engine().encrypt)(rk, nr_, source, blocks,
                                                           output.data() + out_offset);

        EXPECT_EQ(first_bad_block(output.data() + out_offset, expected.data(), blocks), -1);
        EXPECT_TRUE(std::equal(output.begin(), output.begin() + out_offset, before.begin()));
        EXPECT_TRUE(std::equal(output.begin() + out_offset + len, output.end(),
                               before.begin() + out_offset + len));
    }

    std::mt19937 random_;
    Bytes key_;
    uint32_t enc_[AES_SCHEDULE_WORDS] = {};
    uint32_t dec_[AES_SCHEDULE_WORDS] = {};
    int nr_ = 0;
};

TEST_P(AesEngine, MatchesTableEngine) {
    for (bool decrypting : {false, true}) {
        for (bool in_place : {false, true}) {
            for (size_t blocks : kBlockCounts) check_against_table(decrypting, blocks, in_place);
            for (int trial = 0; trial < 20; ++trial) {
                check_against_table(decrypting, random_() % 300, in_place);
            }
        }
    }
}

// One schedule pair, either engine on either side of the round trip.
TEST_P(AesEngine, RoundTripsWithTableEngine) {
    const size_t blocks = 37;
    const Bytes plain = random_bytes(16 * blocks);
    Bytes by_engine(plain.size()), by_table(plain.size()), back(plain.size());
    engine().encrypt(enc_, nr_, plain.data(), blocks, by_engine.data());
    table_blocks(false, enc_, nr_, plain.data(), blocks, by_table.data());
    EXPECT_EQ(first_bad_block(by_engine.data(), by_table.data(), blocks), -1);

    table_blocks(true, dec_, nr_, by_engine.data(), blocks, back.data());
    EXPECT_EQ(to_hex(back), to_hex(plain));
    engine().decrypt(dec_, nr_, by_table.data(), blocks, back.data());
    EXPECT_EQ(to_hex(back), to_hex(plain));
}

// The schedule holds exactly 60 words and ends at a guard page, so a round
// count that indexed past it would fault; the answer is the table engine's
// zeros.
TEST_P(AesEngine, UnsupportedRoundCountWritesZeroBlocks) {
    GuardedBytes schedule(AES_SCHEDULE_WORDS * sizeof(uint32_t));
    uint32_t* rk = schedule.as<uint32_t>();
    std::copy(enc_, enc_ + AES_SCHEDULE_WORDS, rk);
    for (BulkFunction transform : {engine().encrypt, engine().decrypt}) {
        for (int nr : {0, 1, 8, 11, 16, 100, -2}) {
            Bytes data = random_bytes(16 * 19);
            transform(rk, nr, data.data(), 19, data.data());
            EXPECT_EQ(to_hex(data), std::string(2 * data.size(), '0')) << "nr " << nr;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, AesEngine,
                         ::testing::Combine(::testing::ValuesIn(kEngines),
                                            ::testing::Values(128, 192, 256)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) + "_bits" +
                                    std::to_string(std::get<1>(test.param));
                         });

}  // namespace
}  // namespace secnative::test
