// Behaviour of the stream steps: stream shape, chunking, failures, and what
// each failure leaves in the context.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <random>

#include "cipher/block_transform.h"
#include "cipher/cipher_stream.h"
#include "cipher/create_key.h"
#include "crypto/aes_rj.h"
#include "stream_driver.h"
#include "support/hex.h"

namespace secnative::test {
namespace {

using cipher::kDecrypt;
using cipher::kEncrypt;

constexpr uint32_t kTime = 0x6553F100;

std::vector<uint8_t> pattern(size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

std::vector<uint8_t> encrypt_stream(const std::vector<uint8_t>& plain,
                                    const std::string& project = "Payroll",
                                    const std::string& password = "hunter2",
                                    const std::vector<size_t>& chunks = {SIZE_MAX}) {
    StepResult r = run_stream(kEncrypt, project, password, kTime, plain, chunks);
    EXPECT_EQ(r.status, Status::ok);
    return r.out;
}

// AES-128 of one block under the key a stream with this header gets.
std::vector<uint8_t> expected_block(const std::vector<uint8_t>& block, const char* project,
                                    const char* password) {
    uint8_t header[16] = {'K', 'E', 'L', 'T', 0, 0, 0, 0, 0x65, 0x53, 0xF1, 0x00, 0, 0, 0, 0};
    char key[20];
    createKey(key, reinterpret_cast<const char*>(header), 16, project, password);
    uint32_t rk[60];
    const int nr = AES_init_encrypt(rk, reinterpret_cast<const uint8_t*>(key), 128);
    std::vector<uint8_t> out(16);
    AES_encrypt_rj(rk, nr, block.data(), out.data());
    return out;
}

TEST(CipherStream, EmptyPlaintextIsHeaderAndOnePadBlock) {
    StreamDriver enc(kEncrypt, "payroll", "hunter2", kTime);
    StepResult header = enc.update(nullptr, 0);
    ASSERT_EQ(header.status, Status::ok);
    EXPECT_EQ(to_hex(header.out), "4b454c54000000006553f10000000000");
    StepResult last = enc.finish();
    ASSERT_EQ(last.status, Status::ok);
    EXPECT_EQ(to_hex(last.out),
              to_hex(expected_block(std::vector<uint8_t>(16, 16), "PAYROLL", "hunter2")));
}

TEST(CipherStream, SixteenBytesGiveHeaderBlockAndPadBlock) {
    StreamDriver enc(kEncrypt, "p", "pw", kTime);
    StepResult first = enc.update(pattern(16));
    ASSERT_EQ(first.status, Status::ok);
    EXPECT_EQ(first.out.size(), 32u);
    StepResult last = enc.finish();
    EXPECT_EQ(last.out.size(), 16u);
    EXPECT_EQ(to_hex(last.out), to_hex(expected_block(std::vector<uint8_t>(16, 16), "P", "pw")));
}

TEST(CipherStream, StreamLengthIsHeaderPlusPaddedBlocks) {
    for (size_t n : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 100u}) {
        EXPECT_EQ(encrypt_stream(pattern(n)).size(), 16 + 16 * (n / 16 + 1)) << n;
    }
}

TEST(CipherStream, FirstEncryptUpdateCarriesHeaderLaterOnlyWholeBlocks) {
    StreamDriver enc(kEncrypt, "p", "pw", kTime);
    StepResult first = enc.update(pattern(3));
    EXPECT_EQ(first.out.size(), 16u);  // header only, 3 bytes carried
    EXPECT_EQ(enc.update(pattern(12)).out.size(), 0u);
    EXPECT_EQ(enc.update(pattern(1)).out.size(), 16u);
    EXPECT_EQ(enc.update(pattern(47)).out.size(), 32u);
    EXPECT_EQ(cipher::ctx_buffered(enc.context().data()), 15);
}

TEST(CipherStream, DecryptHoldsBackLastBlock) {
    const std::vector<uint8_t> plain = pattern(10);
    const std::vector<uint8_t> stream = encrypt_stream(plain);
    ASSERT_EQ(stream.size(), 32u);

    StreamDriver dec(kDecrypt, "Payroll", "hunter2", 0);
    StepResult header = dec.update(stream.data(), 16);
    ASSERT_EQ(header.status, Status::ok);
    EXPECT_TRUE(header.out.empty());
    StepResult body = dec.update(stream.data() + 16, 16);
    EXPECT_TRUE(body.out.empty());
    StepResult last = dec.finish();
    ASSERT_EQ(last.status, Status::ok);
    EXPECT_EQ(last.out, plain);
}

TEST(CipherStream, ShortHeaderLeavesContextForRetry) {
    const std::vector<uint8_t> plain = pattern(40);
    const std::vector<uint8_t> stream = encrypt_stream(plain);
    StreamDriver dec(kDecrypt, "Payroll", "hunter2", 0);
    const Context before = dec.context();
    EXPECT_EQ(dec.update(stream.data(), 15).status, Status::short_header);
    EXPECT_EQ(dec.context(), before);
    EXPECT_EQ(dec.update(nullptr, 0).status, Status::short_header);

    StepResult all = dec.update(stream);
    ASSERT_EQ(all.status, Status::ok);
    StepResult last = dec.finish();
    ASSERT_EQ(last.status, Status::ok);
    all.out.insert(all.out.end(), last.out.begin(), last.out.end());
    EXPECT_EQ(all.out, plain);
}

TEST(CipherStream, WrongKeyMaterialFailsOnlyAtFinal) {
    const std::vector<uint8_t> plain = pattern(50);
    const std::vector<uint8_t> stream = encrypt_stream(plain);
    std::vector<uint8_t> damaged_header = stream;
    damaged_header[9] ^= 1;  // a bit of the time field
    struct Case {
        const char* what;
        std::string project, password;
        const std::vector<uint8_t>* data;
    } cases[] = {
        {"wrong password", "Payroll", "hunter3", &stream},
        {"wrong project", "Payrolls", "hunter2", &stream},
        {"damaged header", "Payroll", "hunter2", &damaged_header},
    };
    for (const Case& c : cases) {
        StreamDriver dec(kDecrypt, c.project, c.password, 0);
        StepResult body = dec.update(*c.data);
        EXPECT_EQ(body.status, Status::ok) << c.what;
        EXPECT_EQ(body.out.size(), 48u) << c.what;
        EXPECT_EQ(dec.finish().status, Status::bad_padding) << c.what;
    }
}

TEST(CipherStream, RaggedCiphertextFailsWithBlockSize) {
    std::vector<uint8_t> stream = encrypt_stream(pattern(20));
    for (size_t cut : {1u, 15u, 17u}) {
        StreamDriver dec(kDecrypt, "Payroll", "hunter2", 0);
        ASSERT_EQ(dec.update(stream.data(), stream.size() - cut).status, Status::ok);
        EXPECT_EQ(dec.finish().status, Status::block_size) << cut;
    }
}

TEST(CipherStream, HeaderOnlyStreamHasNoFinalBlock) {
    const std::vector<uint8_t> stream = encrypt_stream({});
    StreamDriver dec(kDecrypt, "Payroll", "hunter2", 0);
    ASSERT_EQ(dec.update(stream.data(), 16).status, Status::ok);
    EXPECT_EQ(dec.finish().status, Status::bad_padding);
}

TEST(CipherStream, EmptyPlaintextDecryptsToNoOutput) {
    StepResult r = run_stream(kDecrypt, "Payroll", "hunter2", 0, encrypt_stream({}));
    ASSERT_EQ(r.status, Status::ok);
    EXPECT_TRUE(r.out.empty());
}

TEST(CipherStream, RoundTripsEveryShortLength) {
    for (size_t n = 0; n <= 100; ++n) {
        const std::vector<uint8_t> plain = pattern(n, static_cast<uint32_t>(n));
        StepResult r = run_stream(kDecrypt, "Payroll", "hunter2", 0, encrypt_stream(plain));
        ASSERT_EQ(r.status, Status::ok) << n;
        EXPECT_EQ(r.out, plain) << n;
    }
}

TEST(CipherStream, RoundTripsSeveralMebibytes) {
    const std::vector<uint8_t> plain = pattern(3 * 1024 * 1024 + 7);
    const std::vector<uint8_t> stream = encrypt_stream(plain, "big", "pw", {65536, 1, 4093});
    StepResult r = run_stream(kDecrypt, "big", "pw", 0, stream, {100000, 15});
    ASSERT_EQ(r.status, Status::ok);
    EXPECT_TRUE(r.out == plain);
}

// The same input in any chunking gives the same stream, both ways.
class CipherChunking : public ::testing::TestWithParam<std::vector<size_t>> {};

TEST_P(CipherChunking, SameBytesAsOnePiece) {
    const std::vector<uint8_t> plain = pattern(1000, 7);
    const std::vector<uint8_t> whole = encrypt_stream(plain);
    EXPECT_EQ(encrypt_stream(plain, "Payroll", "hunter2", GetParam()), whole);

    // Decryption chunks after a first update that brings the whole header.
    std::vector<size_t> chunks = GetParam();
    chunks.insert(chunks.begin(), 16 + chunks.front());
    StepResult r = run_stream(kDecrypt, "Payroll", "hunter2", 0, whole, chunks);
    ASSERT_EQ(r.status, Status::ok);
    EXPECT_EQ(r.out, plain);
}

std::vector<size_t> random_chunks() {
    std::mt19937 rng(42);
    std::vector<size_t> out;
    for (int i = 0; i < 40; ++i) out.push_back(rng() % 70);
    out.push_back(1);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Pieces, CipherChunking,
                         ::testing::Values(std::vector<size_t>{1}, std::vector<size_t>{15},
                                           std::vector<size_t>{16}, std::vector<size_t>{17},
                                           std::vector<size_t>{33}, std::vector<size_t>{0, 1},
                                           std::vector<size_t>{0, 31, 0, 2}, random_chunks()));

TEST(CipherKey, ProjectIsCaseBlindAndCutToThirtyBytes) {
    const std::vector<uint8_t> plain = pattern(20);
    EXPECT_EQ(encrypt_stream(plain, "payroll"), encrypt_stream(plain, "PAYROLL"));
    const std::string base(30, 'q');
    EXPECT_EQ(encrypt_stream(plain, base + "A"), encrypt_stream(plain, base + "b"));
    EXPECT_EQ(encrypt_stream(plain, base + "A"), encrypt_stream(plain, base + "xyz-long-tail"));
    EXPECT_NE(encrypt_stream(plain, base), encrypt_stream(plain, base.substr(1)));
}

TEST(CipherKey, PasswordIsCutToThirtyOneBytes) {
    const std::vector<uint8_t> plain = pattern(20);
    const std::string base(31, 'k');
    EXPECT_EQ(encrypt_stream(plain, "p", base + "1"), encrypt_stream(plain, "p", base + "2"));
    EXPECT_NE(encrypt_stream(plain, "p", base), encrypt_stream(plain, "p", base.substr(1)));
    EXPECT_EQ(encrypt_stream(plain, "p", ""), run_stream(kEncrypt, "p", "", kTime, plain).out);
}

TEST(CipherFinal, EncryptWithHeaderPendingEmitsWholeEmptyStream) {
    StreamDriver enc(kEncrypt, "Payroll", "hunter2", kTime);
    StepResult last = enc.finish();
    ASSERT_EQ(last.status, Status::ok);
    EXPECT_EQ(last.out, encrypt_stream({}));
}

TEST(CipherContext, FieldsAreBigEndianAtFixedOffsets) {
    StreamDriver enc(kEncrypt, "demo-project", "pw", kTime);
    const Context& ctx = enc.context();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&ctx[240])), "DEMO-PROJECT");
    EXPECT_EQ(to_hex(&ctx[272], 16), "00000001000000000000000100000000");
    EXPECT_TRUE(std::all_of(ctx.begin(), ctx.begin() + 240, [](uint8_t b) { return b == 0; }));

    enc.update(pattern(20));
    EXPECT_EQ(to_hex(&ctx[272], 16), "000000010000000a0000000000000004");
    // A 128-bit schedule fills 44 words; the rest of the field stays zero.
    EXPECT_TRUE(
        std::all_of(ctx.begin() + 176, ctx.begin() + 240, [](uint8_t b) { return b == 0; }));

    StreamDriver dec(kDecrypt, std::string(40, 'x'), "pw", 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&dec.context()[240])),
              std::string(31, 'X'));
    EXPECT_EQ(to_hex(&dec.context()[272], 4), "00000002");
}

// Contexts that no sequence of steps produces must be refused before any
// byte of them steers a memory access.
struct Damage {
    const char* what;
    size_t offset;
    int32_t value;
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.what << " (" << d.value << " at offset " << d.offset << ")";
}

class CipherDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(CipherDamage, RefusedByUpdateAndFinalWithCarryKept) {
    for (int32_t mode : {kEncrypt, kDecrypt}) {
        StreamDriver driver(mode, "p", "pw", kTime);
        std::vector<uint8_t> start = mode == kEncrypt ? pattern(5) : encrypt_stream(pattern(5));
        start.resize(21);
        ASSERT_EQ(driver.update(start).status, Status::ok);
        cipher::set_ctx_field(driver.context().data(), GetParam().offset, GetParam().value);
        const Context before = driver.context();
        EXPECT_EQ(driver.update(pattern(40)).status, Status::damaged_context) << mode;
        EXPECT_EQ(driver.context(), before);
        EXPECT_EQ(driver.finish().status, Status::damaged_context) << mode;
        EXPECT_EQ(driver.context(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CipherDamage,
    ::testing::Values(Damage{"buffered 33", cipher::kBufferedOffset, 33},
                      Damage{"buffered -1", cipher::kBufferedOffset, -1},
                      Damage{"buffered max", cipher::kBufferedOffset, INT32_MAX},
                      Damage{"buffered min", cipher::kBufferedOffset, INT32_MIN},
                      Damage{"rounds 0", cipher::kRoundsOffset, 0},
                      Damage{"rounds 11", cipher::kRoundsOffset, 11},
                      Damage{"rounds 16", cipher::kRoundsOffset, 16},
                      Damage{"rounds -10", cipher::kRoundsOffset, -10}),
    [](const ::testing::TestParamInfo<Damage>& param) {
        std::string name = param.param.what;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(CipherDamage, DecryptFinalWithHeaderPendingAndCarryIsRefused) {
    StreamDriver dec(kDecrypt, "p", "pw", 0);
    cipher::set_ctx_field(dec.context().data(), cipher::kBufferedOffset, 16);
    EXPECT_EQ(dec.finish().status, Status::damaged_context);
}

TEST(CipherDamage, BufferedAtThirtyTwoIsStillServed) {
    // 32 is within the field; a decrypt context can hold it only briefly, but
    // both steps must work on it without reading past the carry.
    StreamDriver dec(kDecrypt, "Payroll", "hunter2", 0);
    const std::vector<uint8_t> stream = encrypt_stream(pattern(31));
    ASSERT_EQ(dec.update(stream.data(), 16).status, Status::ok);
    uint8_t* ctx = dec.context().data();
    std::memcpy(ctx + cipher::kCarryOffset, stream.data() + 16, 32);
    cipher::set_ctx_field(ctx, cipher::kBufferedOffset, 32);
    StepResult last = dec.finish();
    ASSERT_EQ(last.status, Status::ok);
    EXPECT_EQ(last.out, pattern(31));
}

TEST(CipherStatus, MessagesAreTheFixedTexts) {
    EXPECT_STREQ(cipher::status_message(Status::short_header), "data length is less than 16");
    EXPECT_STREQ(cipher::status_message(Status::damaged_context), "buffer is corruptted");
    EXPECT_STREQ(cipher::status_message(Status::block_size),
                 "Input length must be multiple of 16 when decrypting");
    EXPECT_STREQ(cipher::status_message(Status::bad_padding),
                 "Given final block not properly padded");
}

}  // namespace
}  // namespace secnative::test
