// Key derivation against digests computed with Python's hashlib over
// header || "_ardex" || project || password.
#include <gtest/gtest.h>

#include "cipher/create_key.h"
#include "support/hex.h"

namespace secnative::test {
namespace {

constexpr char kHeader[] = "KELT\0\0\0\0\x65\x53\xf1\0\0\0\0\0";

std::string key_of(const char* project, const char* password) {
    char out[20];
    createKey(out, kHeader, 16, project, password);
    return to_hex(reinterpret_cast<const uint8_t*>(out), sizeof out);
}

TEST(CreateKey, MatchesIndependentDigests) {
    struct Case {
        const char *project, *password, *digest;
    } cases[] = {
        {"", "", "6f4142092cb89d5e6e5a0d04f826923b3777bc1c"},
        {"PAYROLL", "", "3d38e50d5cb25394f00791a5e4e16cc2013e81d7"},
        {"", "hunter2", "8b44232299acb21c5eabaa641a86a7c16f1ad179"},
        {"PAYROLL", "hunter2", "b79ad77272f49b0f67c1f401fc9569b1f2feddab"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(key_of(c.project, c.password), c.digest) << c.project << "/" << c.password;
    }
}

TEST(CreateKey, NullCountsAsEmpty) {
    EXPECT_EQ(key_of(nullptr, nullptr), key_of("", ""));
    EXPECT_EQ(key_of("PAYROLL", nullptr), key_of("PAYROLL", ""));
    EXPECT_EQ(key_of(nullptr, "hunter2"), key_of("", "hunter2"));
}

TEST(CreateKey, HashesExactlyHeaderLengthBytes) {
    char a[20], b[20];
    createKey(a, kHeader, 15, "P", "w");
    createKey(b, kHeader, 16, "P", "w");
    EXPECT_NE(to_hex(reinterpret_cast<uint8_t*>(a), 20), to_hex(reinterpret_cast<uint8_t*>(b), 20));
}

}  // namespace
}  // namespace secnative::test
