// SHA-1: known answers, every way of feeding a message, and the counters.
#include "crypto/sha1.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/hex.h"
#include "support/test_size.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Digest = std::array<uint8_t, SHA1_DIGEST_SIZE>;
using secnative::test::bytes_of;
using secnative::test::to_hex;

// Compares a digest with the expected one, printing both in hex on failure.
::testing::AssertionResult digest_equals(const Digest& actual, const std::string& expected_hex) {
    const std::string actual_hex = to_hex(actual.data(), actual.size());
    if (actual_hex == expected_hex) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "\n  actual:   " << actual_hex << "\n  expected: " << expected_hex;
}

::testing::AssertionResult digest_equals(const Digest& actual, const Digest& expected) {
    return digest_equals(actual, to_hex(expected.data(), expected.size()));
}

// Byte i is (37 * i + 11) mod 256: every byte value occurs, high bit included.
Bytes pattern(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(37 * i + 11);
    return out;
}

// Feeds the message in runs that end at the given cut points (ascending).
Digest sha1_in_runs(const Bytes& message, const std::vector<size_t>& cuts) {
    sha1_context ctx;
    sha1_init(&ctx);
    size_t start = 0;
    for (size_t cut : cuts) {
        sha1_update(&ctx, message.data() + start, static_cast<uint32_t>(cut - start));
        start = cut;
    }
    sha1_update(&ctx, message.data() + start, static_cast<uint32_t>(message.size() - start));
    Digest out;
    sha1_final(&ctx, out.data());
    return out;
}

Digest sha1_of(const Bytes& message) {
    return sha1_in_runs(message, {});
}

struct KnownAnswer {
    const char* name;
    Bytes message;
    const char* digest;
};

void PrintTo(const KnownAnswer& v, std::ostream* os) {
    *os << v.name << " (" << v.message.size() << " bytes)";
}

// The first four are the FIPS 180 examples. The pattern messages' digests were
// made with coreutils sha1sum and agree with `openssl sha1`:
//   python3 -c 'import sys; sys.stdout.buffer.write(bytes((37*i+11)%256
//       for i in range(N)))' | sha1sum
const KnownAnswer kKnownAnswers[] = {
    {"empty", {}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", bytes_of("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"two_blocks_448_bits", bytes_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"million_a", Bytes(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    // 55 bytes leave room for the length in the same block; 56 do not.
    {"pattern_55", pattern(55), "c4622048cfef59b72875839ee7ae1cbcf55e7658"},
    {"pattern_56", pattern(56), "ddc12942656468475970fa4fa49161f52ed138e4"},
    {"pattern_63", pattern(63), "7f8c3fa49f1297bd8b9feb964b6b419987f9f0d1"},
    {"pattern_64", pattern(64), "a334b47180c61fd522f99905ec02c36f9e848211"},
    {"pattern_65", pattern(65), "dd27d9eb923d39687e10872c3e8133ba2f0a68a1"},
    {"pattern_200", pattern(200), "588cf108f067a9951c1d42248e0c3a6e49afe002"},
};

class Sha1KnownAnswer : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(Sha1KnownAnswer, OneUpdate) {
    EXPECT_TRUE(digest_equals(sha1_of(GetParam().message), GetParam().digest));
}

// In a small run the million bytes go one by one only for their first
// 10,000, then in one update.
TEST_P(Sha1KnownAnswer, ByteByByteWithEmptyUpdatesBetween) {
    const Bytes& message = GetParam().message;
    const size_t bytewise = secnative::test::test_size(message.size(), size_t{10000});
    sha1_context ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, nullptr, 0);
    size_t i = 0;
    for (; i < message.size() && i < bytewise; ++i) {
        sha1_update(&ctx, &message[i], 1);
        sha1_update(&ctx, message.data(), 0);
        sha1_update(&ctx, nullptr, 0);
    }
    sha1_update(&ctx, message.data() + i, message.size() - i);
    Digest out;
    sha1_final(&ctx, out.data());
    EXPECT_TRUE(digest_equals(out, GetParam().digest));
}

INSTANTIATE_TEST_SUITE_P(Fips180AndBlockBorders, Sha1KnownAnswer,
                         ::testing::ValuesIn(kKnownAnswers),
                         [](const auto& test) { return std::string(test.param.name); });

// Every split of a 200-byte message (a bit over three blocks) into two and
// into three runs, empty runs included, gives the one-update digest. The runs
// start at every alignment and cross block borders in every way.
TEST(Sha1Split, EveryTwoPartSplit) {
    const Bytes message = pattern(200);
    const Digest expected = sha1_of(message);
    for (size_t i = 0; i <= message.size(); ++i) {
        SCOPED_TRACE("cut at " + std::to_string(i));
        ASSERT_TRUE(digest_equals(sha1_in_runs(message, {i}), expected));
    }
}

TEST(Sha1Split, EveryThreePartSplit) {
    const Bytes message = pattern(200);
    const Digest expected = sha1_of(message);
    for (size_t i = 0; i <= message.size(); ++i) {
        for (size_t j = i; j <= message.size(); ++j) {
            SCOPED_TRACE("cuts at " + std::to_string(i) + " and " + std::to_string(j));
            ASSERT_TRUE(digest_equals(sha1_in_runs(message, {i, j}), expected));
        }
    }
}

// An empty update leaves the whole context as it was, whether a partial
// block is held or not, and whatever the data pointer.
TEST(Sha1Update, EmptyUpdateChangesNothing) {
    const Bytes message = pattern(130);
    for (size_t fed : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{130}}) {
        SCOPED_TRACE("after " + std::to_string(fed) + " bytes");
        sha1_context ctx;
        std::memset(&ctx, 0xA5, sizeof(ctx));
        sha1_init(&ctx);
        sha1_update(&ctx, message.data(), static_cast<uint32_t>(fed));
        sha1_context before;
        std::memcpy(&before, &ctx, sizeof(ctx));

        sha1_update(&ctx, nullptr, 0);
        sha1_update(&ctx, message.data(), 0);
        EXPECT_EQ(0, std::memcmp(&before, &ctx, sizeof(ctx)));
    }
}

// Past 2^29 bytes the bit count no longer fits in 32 bits: the low word wraps
// and carries into the high word, and the final block must carry both words.
// The digest was made with: (head -c 536870912 /dev/zero; printf abc) | sha1sum
TEST(Sha1Update, BitCountPastThirtyTwoBits) {
    const Bytes zeros(1 << 20, 0);
    sha1_context ctx;
    sha1_init(&ctx);
    for (int mib = 0; mib < 512; ++mib) {
        sha1_update(&ctx, zeros.data(), static_cast<uint32_t>(zeros.size()));
    }
    sha1_update(&ctx, reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(24u, ctx.bit_count_low);
    EXPECT_EQ(1u, ctx.bit_count_high);
    Digest out;
    sha1_final(&ctx, out.data());
    EXPECT_TRUE(digest_equals(out, "3e4927b5945989e0210757e9cb6621f257ae7674"));
}

// A context re-initialised after use hashes from scratch, even though the
// old partial block is still in its bytes.
TEST(Sha1Init, RestartsAfterFinal) {
    const Bytes junk = pattern(100);
    sha1_context ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, junk.data(), static_cast<uint32_t>(junk.size()));
    Digest unused;
    sha1_final(&ctx, unused.data());

    sha1_init(&ctx);
    sha1_update(&ctx, reinterpret_cast<const uint8_t*>("abc"), 3);
    Digest out;
    sha1_final(&ctx, out.data());
    EXPECT_TRUE(digest_equals(out, "a9993e364706816aba3e25717850c26c9cd0d89d"));
}

// The digest is written as exactly 20 bytes, at any alignment.
TEST(Sha1Final, WritesExactlyTwentyBytesAtAnyAlignment) {
    for (size_t offset = 0; offset < 8; ++offset) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        uint8_t buffer[SHA1_DIGEST_SIZE + 16];
        std::memset(buffer, 0xEE, sizeof(buffer));
        sha1_context ctx;
        sha1_init(&ctx);
        sha1_update(&ctx, reinterpret_cast<const uint8_t*>("abc"), 3);
        sha1_final(&ctx, buffer + offset);

        Digest out;
        std::memcpy(out.data(), buffer + offset, out.size());
        EXPECT_TRUE(digest_equals(out, "a9993e364706816aba3e25717850c26c9cd0d89d"));
        for (size_t i = 0; i < sizeof(buffer); ++i) {
            if (i < offset || i >= offset + SHA1_DIGEST_SIZE) {
                EXPECT_EQ(0xEE, buffer[i]) << "byte " << i;
            }
        }
    }
}

}  // namespace
