// The bulk step and whole streams on the fastest AES engine against the same
// with the portable switch on: identical bytes, and a context that changes
// engine between calls carries on undisturbed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cipher/block_transform.h"
#include "crypto/aes_rj.h"
#include "crypto/cpu_features.h"
#include "stream_driver.h"
#include "support/hex.h"
#include "support/portable_switch.h"

namespace secnative::test {
namespace {

using cipher::kDecrypt;
using cipher::kEncrypt;
using Bytes = std::vector<uint8_t>;

Bytes random_bytes(std::mt19937& random, size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(random());
    return out;
}

// The table engine on every whole block of `in`, over a copy of `initial`:
// what the bulk step must leave in its output buffer.
Bytes table_result(bool decrypting, const uint32_t* rk, int nr, const uint8_t* in, size_t len,
                   Bytes initial) {
    for (size_t off = 0; off + 16 <= len; off += 16) {
        (decrypting ? AES_decrypt_rj : AES_encrypt_rj)(rk, nr, in + off, initial.data() + off);
    }
    return initial;
}

// Whatever the engine, the bulk step equals the table engine block by block,
// leaves a remainder below 16 bytes alone and may work in place.
TEST(BlockTransformPaths, BulkStepMatchesTableEngine) {
    std::mt19937 random(2024);
    for (bool portable : {false, true}) {
        const PortableSwitch use(portable);
        for (int key_bits : {128, 192, 256}) {
            const Bytes key = random_bytes(random, static_cast<size_t>(key_bits / 8));
            uint32_t enc[AES_SCHEDULE_WORDS], dec[AES_SCHEDULE_WORDS];
            const int nr = AES_init_encrypt(enc, key.data(), key_bits);
            AES_init_decrypt(dec, key.data(), key_bits);
            for (size_t len : {0, 15, 16, 17, 16 * 17, 16 * 17 + 9, 16 * 37 + 1, 16 * 515 + 3}) {
                for (bool decrypting : {false, true}) {
                    SCOPED_TRACE((portable ? "portable, " : "fastest, ") +
                                 std::to_string(key_bits) + " bits, " + std::to_string(len) +
                                 (decrypting ? " bytes decrypted" : " bytes encrypted"));
                    const auto transform = decrypting ? cipher::decrypt : cipher::encrypt;
                    const uint32_t* rk = decrypting ? dec : enc;
                    const size_t offset = random() % 16;
                    const Bytes input = random_bytes(random, offset + len);
                    const uint8_t* in = input.data() + offset;

                    Bytes separate = random_bytes(random, len);
                    const Bytes expected = table_result(decrypting, rk, nr, in, len, separate);
                    transform(rk, nr, in, len, separate.data());
                    EXPECT_EQ(to_hex(separate), to_hex(expected));

                    Bytes in_place(in, in + len);
                    transform(rk, nr, in_place.data(), len, in_place.data());
                    EXPECT_EQ(to_hex(in_place), to_hex(table_result(decrypting, rk, nr, in, len,
                                                                    Bytes(in, in + len))));
                }
            }
        }
    }
}

// Chunk sizes to cycle through, small ones (empty updates included) among
// large ones; the last is never 0, so the input always gets used up.
std::vector<size_t> random_chunks(std::mt19937& random) {
    std::vector<size_t> chunks(random() % 6);
    for (auto& c : chunks) c = random() % 3 == 0 ? random() % 20 : random() % 5000;
    chunks.push_back(1 + random() % 5000);
    return chunks;
}

// Encrypts, or decrypts, a stream with the engine switched before every call
// as `portable_at` says for that call's number.
template <typename Choice>
StepResult run_switching(int32_t mode, const Bytes& input, const std::vector<size_t>& chunks,
                         Choice portable_at) {
    StreamDriver driver(mode, "Ledger", "s3cret", 0x65000000);
    StepResult total;
    size_t pos = 0;
    for (size_t call = 0; call == 0 || pos < input.size(); ++call) {
        const PortableSwitch use(portable_at(call));
        const size_t chunk = std::min(chunks[call % chunks.size()], input.size() - pos);
        StepResult step = driver.update(input.data() + pos, chunk);
        if (step.status != Status::ok) return step;
        total.out.insert(total.out.end(), step.out.begin(), step.out.end());
        pos += chunk;
    }
    const PortableSwitch use(portable_at(SIZE_MAX));
    StepResult last = driver.finish();
    if (last.status != Status::ok) return last;
    total.out.insert(total.out.end(), last.out.begin(), last.out.end());
    return total;
}

// Random plaintexts and chunkings: the fastest engine, the portable one and a
// stream that alternates between them give the same stream, and each
// decrypts what the others made.
TEST(BlockTransformPaths, StreamsAgreeAcrossEngines) {
    if (crypto::cpu_features() == 0) {
        GTEST_SKIP() << "no accelerated AES on this processor or build: one engine only";
    }
    std::mt19937 random(7);
    const auto portable = [](size_t) { return true; };
    const auto fastest = [](size_t) { return false; };
    const auto alternating = [](size_t call) { return call % 2 == 1; };
    for (int trial = 0; trial < 40; ++trial) {
        const size_t size = trial == 0 ? 1048576 + 5 : random() % 20000;
        const Bytes plain = random_bytes(random, size);
        const std::vector<size_t> chunks = random_chunks(random);
        SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::to_string(size) + " bytes");

        const StepResult reference = run_switching(kEncrypt, plain, chunks, portable);
        ASSERT_EQ(reference.status, Status::ok);
        const StepResult fast = run_switching(kEncrypt, plain, chunks, fastest);
        const StepResult mixed = run_switching(kEncrypt, plain, chunks, alternating);
        EXPECT_TRUE(fast.out == reference.out);
        EXPECT_TRUE(mixed.out == reference.out);

        std::vector<size_t> decrypt_chunks = random_chunks(random);
        decrypt_chunks.insert(decrypt_chunks.begin(), 16);
        const StepResult back_fast =
            run_switching(kDecrypt, reference.out, decrypt_chunks, fastest);
        const StepResult back_mixed =
            run_switching(kDecrypt, reference.out, decrypt_chunks, alternating);
        ASSERT_EQ(back_fast.status, Status::ok);
        ASSERT_EQ(back_mixed.status, Status::ok);
        EXPECT_TRUE(back_fast.out == plain);
        EXPECT_TRUE(back_mixed.out == plain);
    }
}

}  // namespace
}  // namespace secnative::test
