// SHA-1 on the processor's SHA instructions against the portable code: the
// same digests and, after every update, the same context bytes.
//
// "dispatched" is whatever sha1_update picks on this machine (the SHA
// instructions where present); "portable" forces the portable code. Where the
// processor lacks the instructions both run the portable code, and the tests
// still check it against the known answers, against one-update digests and
// against a model of the bytes the context holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "crypto/sha1.h"
#include "support/hex.h"
#include "support/portable_switch.h"

namespace {

using secnative::test::PortableSwitch;
using secnative::test::to_hex;

using Bytes = std::vector<uint8_t>;
using Digest = std::array<uint8_t, SHA1_DIGEST_SIZE>;

enum class Path { kDispatched, kPortable };

std::string path_name(Path path) {
    return path == Path::kPortable ? "portable" : "dispatched";
}

void PrintTo(Path path, std::ostream* os) {
    *os << path_name(path);
}

// The digest of message fed in runs of at most `run` bytes, on one path.
std::string sha1_hex(Path path, const Bytes& message, size_t run) {
    const PortableSwitch on(path == Path::kPortable);
    sha1_context ctx;
    sha1_init(&ctx);
    for (size_t start = 0; start < message.size(); start += run) {
        const size_t n = std::min(run, message.size() - start);
        sha1_update(&ctx, message.data() + start, static_cast<uint32_t>(n));
    }
    Digest out;
    sha1_final(&ctx, out.data());
    return to_hex(out.data(), out.size());
}

struct KnownAnswer {
    const char* name;
    Bytes message;
    const char* digest;
};

// From FIPS 180 (the SHA-1 examples of its appendix).
const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const KnownAnswer kFips180[] = {
    {"abc", {'a', 'b', 'c'}, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"two_blocks_448_bits", Bytes(kTwoBlocks.begin(), kTwoBlocks.end()),
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"million_a", Bytes(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

class Sha1PathKnownAnswer : public ::testing::TestWithParam<Path> {};

// One update, then runs that cross the block borders at shifting offsets.
TEST_P(Sha1PathKnownAnswer, Fips180Vectors) {
    for (const KnownAnswer& known : kFips180) {
        for (size_t run : {known.message.size() + 1, size_t{997}, size_t{64}, size_t{7}}) {
            SCOPED_TRACE(std::string(known.name) + " in runs of " + std::to_string(run));
            EXPECT_EQ(known.digest, sha1_hex(GetParam(), known.message, run));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, Sha1PathKnownAnswer,
                         ::testing::Values(Path::kDispatched, Path::kPortable),
                         [](const auto& test) { return path_name(test.param); });

// What ctx->block must hold after `fed` bytes of message: byte i is the
// latest message byte at an offset of i modulo 64, or the byte that was there
// before sha1_init while the message has none.
Bytes expected_block(const uint8_t* message, size_t fed, uint8_t before_init) {
    Bytes block(SHA1_BLOCK_SIZE, before_init);
    const size_t full = fed / SHA1_BLOCK_SIZE;
    const size_t held = fed % SHA1_BLOCK_SIZE;
    for (size_t i = 0; i < SHA1_BLOCK_SIZE; ++i) {
        if (i < held) {
            block[i] = message[full * SHA1_BLOCK_SIZE + i];
        } else if (full > 0) {
            block[i] = message[(full - 1) * SHA1_BLOCK_SIZE + i];
        }
    }
    return block;
}

Bytes block_of(const sha1_context& ctx) {
    Bytes block(SHA1_BLOCK_SIZE);
    std::memcpy(block.data(), ctx.block, block.size());
    return block;
}

// Feeds one message in the same random runs to a dispatched and a portable
// context and compares them after every update, then the digests, then both
// with the portable one-update digest.
void check_random_message(std::mt19937& rng, size_t length) {
    // The message starts at a random offset so that whole blocks are read at
    // every alignment; the buffer ends where the message does.
    const size_t offset = rng() % 16;
    Bytes buffer(offset + length);
    std::generate(buffer.begin(), buffer.end(), [&rng] { return static_cast<uint8_t>(rng()); });
    const uint8_t* message = buffer.data() + offset;

    const uint8_t before_init = 0x5C;
    sha1_context dispatched;
    sha1_context portable;
    std::memset(&dispatched, before_init, sizeof(dispatched));
    std::memset(&portable, before_init, sizeof(portable));
    sha1_init(&dispatched);
    sha1_init(&portable);

    // Run lengths: mostly short runs around the block size, sometimes all or
    // part of what is left, sometimes nothing.
    const auto next_run = [&rng](size_t left) -> size_t {
        switch (rng() % 4) {
            case 0:
                return std::min<size_t>(rng() % 10, left);
            case 1:
                return std::min<size_t>(rng() % 200, left);
            case 2:
                return rng() % (left + 1);
            default:
                return left;
        }
    };
    size_t fed = 0;
    while (fed < length) {
        const size_t run = next_run(length - fed);
        {
            const PortableSwitch on(false);
            sha1_update(&dispatched, message + fed, static_cast<uint32_t>(run));
        }
        {
            const PortableSwitch on(true);
            sha1_update(&portable, message + fed, static_cast<uint32_t>(run));
        }
        fed += run;
        ASSERT_EQ(0, std::memcmp(&dispatched, &portable, sizeof(portable)))
            << "contexts differ after " << fed << " bytes";
        ASSERT_EQ(expected_block(message, fed, before_init), block_of(portable))
            << "after " << fed << " bytes";
    }

    Digest from_dispatched;
    Digest from_portable;
    {
        const PortableSwitch on(false);
        sha1_final(&dispatched, from_dispatched.data());
    }
    {
        const PortableSwitch on(true);
        sha1_final(&portable, from_portable.data());
    }
    const std::string one_update =
        sha1_hex(Path::kPortable, Bytes(message, message + length), length + 1);
    EXPECT_EQ(to_hex(from_portable.data(), from_portable.size()),
              to_hex(from_dispatched.data(), from_dispatched.size()));
    EXPECT_EQ(one_update, to_hex(from_portable.data(), from_portable.size()));
}

TEST(Sha1Paths, RandomMessagesInRandomRuns) {
    const unsigned seed = 20240611;
    std::mt19937 rng(seed);
    for (int i = 0; i < 400; ++i) {
        const size_t length = rng() % 6000;
        SCOPED_TRACE("seed " + std::to_string(seed) + ", message " + std::to_string(i) +
                     ", length " + std::to_string(length));
        check_random_message(rng, length);
        if (HasFatalFailure()) return;
    }
}

TEST(Sha1Paths, LargeMessagesInRandomRuns) {
    const unsigned seed = 7;
    std::mt19937 rng(seed);
    for (size_t length : {size_t{1} << 20, (size_t{1} << 20) + 37, (size_t{3} << 20) + 63}) {
        SCOPED_TRACE("length " + std::to_string(length));
        check_random_message(rng, length);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
