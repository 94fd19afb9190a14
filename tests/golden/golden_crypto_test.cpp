// Golden SHA-1 digests, AES blocks and AES round-key schedules: every build
// must reproduce the bytes that independent tools made, whatever its byte
// order, word size or alignment rules, and whatever the alignment of the
// caller's buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypto/aes_rj.h"
#include "crypto/sha1.h"
#include "golden_data.h"

namespace secnative::test {
namespace {

// Feeds message to SHA-1 in pieces of the given sizes, cycled, from a buffer
// at the given offset, and writes the digest at that offset too.
std::string sha1_in_pieces(const std::vector<uint8_t>& message, size_t offset,
                           const std::vector<size_t>& pieces) {
    OffsetBuffer in(message, offset);
    sha1_context ctx;
    sha1_init(&ctx);
    size_t pos = 0;
    for (size_t turn = 0; pos < message.size(); ++turn) {
        const size_t piece = std::min(pieces[turn % pieces.size()], message.size() - pos);
        sha1_update(&ctx, in.data() + pos, static_cast<uint32_t>(piece));
        pos += piece;
    }
    OffsetBuffer out(SHA1_DIGEST_SIZE, offset);
    sha1_final(&ctx, out.data());
    return to_hex(out.data(), SHA1_DIGEST_SIZE);
}

TEST(GoldenSha1, DigestsInOneUpdateAndInPiecesAtEveryAlignment) {
    const auto rows = read_golden_rows("sha1.txt", 2);
    ASSERT_GE(rows.size(), 19u);
    for (const auto& row : rows) {
        const std::vector<uint8_t> message = expand_message(row[0]);
        for (size_t offset : kGoldenOffsets) {
            SCOPED_TRACE(row[0].substr(0, 40) + " at offset " + std::to_string(offset));
            EXPECT_EQ(sha1_in_pieces(message, offset, {message.size() + 1}), row[1]);
            EXPECT_EQ(sha1_in_pieces(message, offset, {1, 63, 0, 5, 64, 200}), row[1]);
        }
    }
}

struct AesCase {
    int bits;
    std::vector<uint8_t> key, plain, cipher;
};

std::vector<AesCase> aes_blocks() {
    std::vector<AesCase> cases;
    for (const auto& row : read_golden_rows("aes_blocks.txt", 4)) {
        cases.push_back({std::stoi(row[0]), from_hex(row[1]), from_hex(row[2]), from_hex(row[3])});
    }
    return cases;
}

TEST(GoldenAes, BlocksAtEveryAlignmentAndInPlace) {
    const std::vector<AesCase> cases = aes_blocks();
    ASSERT_GE(cases.size(), 11u);
    for (const AesCase& c : cases) {
        for (size_t offset : kGoldenOffsets) {
            SCOPED_TRACE(to_hex(c.key) + " at offset " + std::to_string(offset));
            OffsetBuffer key(c.key, offset);
            uint32_t enc[AES_SCHEDULE_WORDS];
            uint32_t dec[AES_SCHEDULE_WORDS];
            const int nr = AES_init_encrypt(enc, key.data(), c.bits);
            ASSERT_EQ(nr, c.bits / 32 + 6);
            ASSERT_EQ(AES_init_decrypt(dec, key.data(), c.bits), nr);

            OffsetBuffer in(c.plain, offset);
            OffsetBuffer out(AES_BLOCK_SIZE, offset);
            AES_encrypt_rj(enc, nr, in.data(), out.data());
            EXPECT_EQ(to_hex(out.data(), AES_BLOCK_SIZE), to_hex(c.cipher));
            AES_encrypt_rj(enc, nr, in.data(), in.data());
            EXPECT_EQ(to_hex(in.data(), AES_BLOCK_SIZE), to_hex(c.cipher)) << "in place";

            AES_decrypt_rj(dec, nr, in.data(), out.data());
            EXPECT_EQ(to_hex(out.data(), AES_BLOCK_SIZE), to_hex(c.plain));
            AES_decrypt_rj(dec, nr, in.data(), in.data());
            EXPECT_EQ(to_hex(in.data(), AES_BLOCK_SIZE), to_hex(c.plain)) << "in place";
        }
    }
}

// A schedule is kept in the host's own word order, so its bytes differ
// between builds; its words must hold the same values everywhere.
TEST(GoldenAes, ScheduleWordsHaveTheSameValuesOnEveryHost) {
    const auto rows = read_golden_rows("aes_schedules.txt", 4);
    ASSERT_GE(rows.size(), 5u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[1]);
        const int bits = std::stoi(row[0]);
        const std::vector<uint8_t> key = from_hex(row[1]);
        const std::vector<uint32_t> want_enc = parse_words(row[2]);
        const std::vector<uint32_t> want_dec = parse_words(row[3]);
        uint32_t enc[AES_SCHEDULE_WORDS] = {};
        uint32_t dec[AES_SCHEDULE_WORDS] = {};
        const int nr = AES_init_encrypt(enc, key.data(), bits);
        ASSERT_EQ(AES_init_decrypt(dec, key.data(), bits), nr);
        ASSERT_EQ(want_enc.size(), 4u * (nr + 1));
        ASSERT_EQ(want_dec.size(), want_enc.size());
        EXPECT_EQ(std::vector<uint32_t>(enc, enc + want_enc.size()), want_enc);
        EXPECT_EQ(std::vector<uint32_t>(dec, dec + want_dec.size()), want_dec);
    }
}

}  // namespace
}  // namespace secnative::test
