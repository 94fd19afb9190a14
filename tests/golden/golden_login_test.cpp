// Golden login values: stored password forms and scramble replies made with
// hashlib, and challenge strings from the generator's recurrence, which
// must come out alike on 32- and 64-bit builds although rand_context's
// fields follow the width of long.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_data.h"
#include "login/password.h"

namespace secnative::test {
namespace {

TEST(GoldenLogin, StoredFormsAndRepliesAtEveryAlignment) {
    const auto rows = read_golden_rows("passwords.txt", 4);
    ASSERT_GE(rows.size(), 6u);
    for (const auto& row : rows) {
        const std::vector<uint8_t> password_bytes = from_hex(row[0]);
        const std::string password(password_bytes.begin(), password_bytes.end());
        const std::string& stored = row[2];
        const std::vector<uint8_t> stage2 = from_hex(stored.substr(1));
        for (size_t offset : kGoldenOffsets) {
            SCOPED_TRACE(stored + " at offset " + std::to_string(offset));
            OffsetBuffer form(SCRAMBLED_PASSWORD_BUFFER, offset);
            char* form_text = reinterpret_cast<char*>(form.data());
            make_scrambled_password(form_text, password.c_str());
            EXPECT_EQ(std::string(form_text), stored);

            OffsetBuffer salt(SCRAMBLE_LENGTH, offset);
            get_salt_from_password(salt.data(), form_text);
            EXPECT_EQ(to_hex(salt.data(), SCRAMBLE_LENGTH), to_hex(stage2));
            make_password_from_salt(form_text, salt.data());
            EXPECT_EQ(std::string(form_text), stored);

            OffsetBuffer challenge(from_hex(row[1]), offset);
            OffsetBuffer reply(SCRAMBLE_LENGTH, offset);
            scramble(reply.data(), challenge.data(), password.c_str());
            EXPECT_EQ(to_hex(reply.data(), SCRAMBLE_LENGTH), row[3]);
            EXPECT_EQ(check_scramble(reply.data(), challenge.data(), salt.data()), 0);
        }
    }
}

TEST(GoldenLogin, ChallengeStringsAreTheSameOnEveryWordSize) {
    const auto rows = read_golden_rows("random_strings.txt", 4);
    ASSERT_GE(rows.size(), 6u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0] + " " + row[1]);
        rand_context ctx;
        rand_init(&ctx, std::stoul(row[0]), std::stoul(row[1]));
        const uint32_t length = static_cast<uint32_t>(std::stoul(row[2]));
        std::vector<char> out(length + 1, 'x');
        create_random_string(out.data(), length, &ctx);
        EXPECT_EQ(std::string(out.data()), row[3]);
    }
}

}  // namespace
}  // namespace secnative::test
