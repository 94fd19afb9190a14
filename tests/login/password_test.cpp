// The password family: known stored forms and replies made with sha1sum, the
// reply check against every single-bit change, the hex codec and the
// challenge-string generator.
#include "login/password.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/sha1.h"
#include "support/data_table.h"
#include "support/hex.h"

namespace {

using secnative::test::from_hex;
using secnative::test::read_data_table;
using secnative::test::to_hex;
using Block = std::array<uint8_t, SCRAMBLE_LENGTH>;

Block challenge_of(const std::string& text) {
    Block challenge{};
    std::memcpy(challenge.data(), text.data(), std::min(text.size(), challenge.size()));
    return challenge;
}

Block stage2_of(const char* password) {
    char stored[SCRAMBLED_PASSWORD_BUFFER];
    make_scrambled_password(stored, password);
    Block stage2;
    get_salt_from_password(stage2.data(), stored);
    return stage2;
}

TEST(PasswordStoredForm, KnownAnswersFromSha1sum) {
    const auto rows = read_data_table("stored_passwords.txt", 2);
    ASSERT_GE(rows.size(), 5u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        char stored[SCRAMBLED_PASSWORD_BUFFER + 1];
        std::memset(stored, 0x55, sizeof stored);
        make_scrambled_password(stored, row[0].c_str());
        EXPECT_EQ(std::string(stored), row[1]) << "password \"" << row[0] << "\"";
        EXPECT_EQ(stored[SCRAMBLED_PASSWORD_LENGTH], '\0');
        EXPECT_EQ(stored[SCRAMBLED_PASSWORD_BUFFER], 0x55) << "wrote past 42 bytes";
    }
}

TEST(PasswordStoredForm, SaltRoundTripIsUpperCaseAndAcceptsLowerCase) {
    for (const auto& row : read_data_table("stored_passwords.txt", 2)) {
        Block upper, lower;
        get_salt_from_password(upper.data(), row[1].c_str());
        std::string lowered = row[1];
        for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        get_salt_from_password(lower.data(), lowered.c_str());
        EXPECT_EQ(upper, lower);

        char again[SCRAMBLED_PASSWORD_BUFFER];
        make_password_from_salt(again, upper.data());
        EXPECT_EQ(std::string(again), row[1]);
    }
}

TEST(PasswordStoredForm, FirstCharacterIsSkippedWhateverItIs) {
    const std::string digits = "00112233445566778899AABBCCDDEEFF01234567";
    Block a, b;
    get_salt_from_password(a.data(), ("*" + digits).c_str());
    get_salt_from_password(b.data(), ("7" + digits).c_str());
    EXPECT_EQ(to_hex(a.data(), a.size()), "00112233445566778899aabbccddeeff01234567");
    EXPECT_EQ(a, b);
}

TEST(PasswordScramble, KnownRepliesFromSha1sum) {
    const auto rows = read_data_table("scramble_replies.txt", 3);
    ASSERT_GE(rows.size(), 4u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        ASSERT_EQ(row[0].size(), SCRAMBLE_LENGTH);
        const Block challenge = challenge_of(row[0]);
        Block reply;
        scramble(reply.data(), challenge.data(), row[1].c_str());
        EXPECT_EQ(to_hex(reply.data(), reply.size()), row[2]) << "password \"" << row[1] << "\"";
    }
}

// A reply is accepted, and no single flipped bit of reply, challenge or
// stage 2 is.
TEST(PasswordScramble, CheckAcceptsReplyAndRejectsEverySingleBitFlip) {
    for (const auto& row : read_data_table("scramble_replies.txt", 3)) {
        const Block challenge = challenge_of(row[0]);
        const Block stage2 = stage2_of(row[1].c_str());
        Block reply;
        scramble(reply.data(), challenge.data(), row[1].c_str());
        ASSERT_EQ(check_scramble(reply.data(), challenge.data(), stage2.data()), 0);

        for (size_t bit = 0; bit < 8 * SCRAMBLE_LENGTH; ++bit) {
            const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
            Block r = reply, c = challenge, s = stage2;
            r[bit / 8] ^= mask;
            c[bit / 8] ^= mask;
            s[bit / 8] ^= mask;
            EXPECT_NE(check_scramble(r.data(), challenge.data(), stage2.data()), 0) << bit;
            EXPECT_NE(check_scramble(reply.data(), c.data(), stage2.data()), 0) << bit;
            EXPECT_NE(check_scramble(reply.data(), challenge.data(), s.data()), 0) << bit;
        }
    }
}

TEST(PasswordScramble, WrongPasswordIsRejected) {
    const Block challenge = challenge_of("abcdefghijklmnopqrst");
    Block reply;
    scramble(reply.data(), challenge.data(), "secret");
    EXPECT_NE(check_scramble(reply.data(), challenge.data(), stage2_of("Secret").data()), 0);
    EXPECT_NE(check_scramble(reply.data(), challenge.data(), stage2_of("").data()), 0);
}

// The sign follows the first differing byte of the given stage 2 against
// the recomputed one, compared unsigned, whatever later bytes hold. A reply
// of SHA-1(challenge || given) XOR x makes the check recompute SHA-1(x), so
// the test can choose both sides.
TEST(PasswordScramble, CheckResultHasSignOfFirstDifferingByte) {
    const Block challenge = challenge_of("abcdefghijklmnopqrst");
    const Block candidate = challenge_of("any twenty bytes ...");
    Block recomputed;
    sha1_context ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, candidate.data(), SCRAMBLE_LENGTH);
    sha1_final(&ctx, recomputed.data());

    auto check_against = [&](const Block& given) {
        Block reply;
        sha1_init(&ctx);
        sha1_update(&ctx, challenge.data(), SCRAMBLE_LENGTH);
        sha1_update(&ctx, given.data(), SCRAMBLE_LENGTH);
        sha1_final(&ctx, reply.data());
        for (size_t i = 0; i < SCRAMBLE_LENGTH; ++i) reply[i] ^= candidate[i];
        return check_scramble(reply.data(), challenge.data(), given.data());
    };

    EXPECT_EQ(check_against(recomputed), 0);
    for (size_t position : {0u, 7u, 19u}) {
        if (recomputed[position] == 0x00 || recomputed[position] == 0xFF) continue;
        Block higher = recomputed, lower = recomputed;
        ++higher[position];
        --lower[position];
        // Later bytes pull the other way and must not matter.
        if (position + 1 < SCRAMBLE_LENGTH) {
            higher[position + 1] = static_cast<uint8_t>(recomputed[position + 1] - 1);
            lower[position + 1] = static_cast<uint8_t>(recomputed[position + 1] + 1);
        }
        EXPECT_GT(check_against(higher), 0) << position;
        EXPECT_LT(check_against(lower), 0) << position;
    }
}

TEST(HexCodec, Octet2hexWritesUpperCaseAndReturnsTerminator) {
    const std::vector<uint8_t> bytes = from_hex("00 01 7f 80 a5 fe ff");
    char out[32];
    std::memset(out, 0x55, sizeof out);
    char* end = octet2hex(out, bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(std::string(out), "00017F80A5FEFF");
    EXPECT_EQ(end, out + 2 * bytes.size());
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(out[2 * bytes.size() + 1], 0x55);
}

TEST(HexCodec, Octet2hexOfNothingWritesOnlyTheTerminator) {
    char out[2] = {'x', 'y'};
    EXPECT_EQ(octet2hex(out, nullptr, 0), out);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'y');
}

TEST(HexCodec, Hex2octetDecodesBothCases) {
    uint8_t out[6];
    hex2octet(out, "00ff7FaBcD10", 12);
    EXPECT_EQ(to_hex(out, sizeof out), "00ff7fabcd10");
}

// The lone last character of an odd length is ignored; the character just
// past the range is never part of a pair.
TEST(HexCodec, Hex2octetWithOddLengthStopsInsideTheRange) {
    for (uint32_t len : {0u, 1u, 3u, 5u}) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        hex2octet(out, "1234567", len);
        for (uint32_t i = 0; i < len / 2; ++i) {
            EXPECT_EQ(out[i], (i == 0) ? 0x12 : (i == 1) ? 0x34 : 0x56) << len;
        }
        for (uint32_t i = len / 2; i < 4; ++i) EXPECT_EQ(out[i], 0xEE) << "len " << len;
    }
}

TEST(HexCodec, CharValTakesEveryCharacter) {
    using secnative::login::char_val;
    struct Case {
        uint8_t c, value;
    };
    const Case cases[] = {{'0', 0},  {'9', 9},    {'A', 10}, {'F', 15},  {'Z', 35},
                          {'a', 10}, {'f', 15},   {'z', 35}, {'!', 202}, {'@', 233},
                          {0, 169},  {0xFF, 168}, {'G', 16}, {'g', 16}};
    for (const Case& c : cases) EXPECT_EQ(char_val(c.c), c.value) << int(c.c);
}

TEST(RandomString, FirstValueFromSeedsOneAndTwo) {
    rand_context ctx;
    rand_init(&ctx, 1, 2);
    EXPECT_EQ(ctx.modulus, 0x3FFFFFFFUL);
    EXPECT_EQ(ctx.modulus_as_double, 1073741823.0);
    EXPECT_EQ(rand_value(&ctx), 5 / 1073741823.0);
    EXPECT_EQ(ctx.seed_a, 5UL);
    EXPECT_EQ(ctx.seed_b, 40UL);
    EXPECT_EQ(rand_value(&ctx), 55 / 1073741823.0);
    EXPECT_EQ(ctx.seed_b, 128UL);
}

TEST(RandomString, SeedsAreReducedModuloTheModulus) {
    struct Case {
        unsigned long seed1, seed2;
        const char* expected;
    };
    // Expected strings computed outside the library from the recurrence.
    const Case cases[] = {
        {12345, 67890, "!!!!$/`wW,r~AhhQ>~$3"},
        {0xFFFFFFFFUL, 7, "!!!!!!!!!\"&8'Yl4^Z-m"},  // 0xFFFFFFFF = 3 mod 0x3FFFFFFF
        {3, 7, "!!!!!!!!!\"&8'Yl4^Z-m"},
        {0x3FFFFFFFUL + 12345, 67890 + 2 * 0x3FFFFFFFUL, "!!!!$/`wW,r~AhhQ>~$3"},
    };
    for (const Case& c : cases) {
        rand_context ctx;
        rand_init(&ctx, c.seed1, c.seed2);
        char out[21];
        create_random_string(out, 20, &ctx);
        EXPECT_EQ(std::string(out), c.expected) << c.seed1 << " " << c.seed2;
    }
}

TEST(RandomString, LengthZeroWritesOnlyTheTerminator) {
    rand_context ctx;
    rand_init(&ctx, 1, 2);
    char out[2] = {'x', 'y'};
    create_random_string(out, 0, &ctx);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'y');
    EXPECT_EQ(ctx.seed_a, 1UL) << "no value drawn";
}

// The extreme values of the generator map onto '!' and '~'; every character
// of long strings from many seeds lies in between.
TEST(RandomString, CharactersArePrintableWithoutSpace) {
    rand_context ctx;
    char c[2];
    rand_init(&ctx, 0, 0);  // next seed_a = 0, value 0
    create_random_string(c, 1, &ctx);
    EXPECT_EQ(c[0], '!');
    rand_init(&ctx, 0, 0x3FFFFFFEUL);  // next seed_a = modulus - 1, the largest value
    create_random_string(c, 1, &ctx);
    EXPECT_EQ(c[0], '~');

    char out[257];
    for (unsigned long seed = 0; seed < 64; ++seed) {
        rand_init(&ctx, seed * 0x01000193UL, ~seed);
        create_random_string(out, 256, &ctx);
        EXPECT_EQ(out[256], '\0');
        for (int i = 0; i < 256; ++i) {
            ASSERT_GE(out[i], 33) << seed;
            ASSERT_LE(out[i], 126) << seed;
        }
    }
}

}  // namespace
