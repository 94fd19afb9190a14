#include "login/password.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "crypto/sha1.h"
#include "login/scramble_bytes.h"

namespace {

using secnative::secure_wipe_object;

// SHA-1 of one byte range. The hash state is wiped afterwards because it
// may have held password bytes.
void sha1_of(uint8_t out[SCRAMBLE_LENGTH], const uint8_t* data, size_t len) {
    sha1_context ctx;
    sha1_init(&ctx);
    while (len > 0) {
        // sha1_update counts in 32 bits; feed longer texts in slices.
        const uint32_t slice = len > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(len);
        sha1_update(&ctx, data, slice);
        data += slice;
        len -= slice;
    }
    sha1_final(&ctx, out);
    secure_wipe_object(ctx);
}

// SHA-1(first || second) over two 20-byte values.
void sha1_of_pair(uint8_t out[SCRAMBLE_LENGTH], const uint8_t first[SCRAMBLE_LENGTH],
                  const uint8_t second[SCRAMBLE_LENGTH]) {
    sha1_context ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, first, SCRAMBLE_LENGTH);
    sha1_update(&ctx, second, SCRAMBLE_LENGTH);
    sha1_final(&ctx, out);
    secure_wipe_object(ctx);
}

void sha1_of_password(uint8_t out[SCRAMBLE_LENGTH], const char* password) {
    sha1_of(out, reinterpret_cast<const uint8_t*>(password), std::strlen(password));
}

// memcmp-like sign of the first differing byte, computed without an early
// exit so the time taken does not tell where the values differ.
int compare_digests(const uint8_t given[SCRAMBLE_LENGTH], const uint8_t computed[SCRAMBLE_LENGTH]) {
    int result = 0;
    for (int i = 0; i < SCRAMBLE_LENGTH; ++i) {
        const int difference = static_cast<int>(given[i]) - static_cast<int>(computed[i]);
        const int still_equal = static_cast<int>(result == 0);
        result |= difference & -still_equal;
    }
    return result;
}

}  // namespace

namespace secnative::login {

void scramble_bytes(uint8_t out[20], const uint8_t challenge[20], const char* password,
                    size_t length) {
    uint8_t stage1[SCRAMBLE_LENGTH];
    uint8_t stage2[SCRAMBLE_LENGTH];
    sha1_of(stage1, reinterpret_cast<const uint8_t*>(password), length);
    sha1_of(stage2, stage1, SCRAMBLE_LENGTH);
    sha1_of_pair(out, challenge, stage2);
    for (int i = 0; i < SCRAMBLE_LENGTH; ++i) out[i] ^= stage1[i];
    secure_wipe_object(stage1);
}

}  // namespace secnative::login

void scramble(uint8_t out[20], const uint8_t challenge[20], const char* password) {
    secnative::login::scramble_bytes(out, challenge, password, std::strlen(password));
}

int check_scramble(const uint8_t reply[20], const uint8_t challenge[20], const uint8_t stage2[20]) {
    uint8_t candidate_stage1[SCRAMBLE_LENGTH];
    uint8_t recomputed_stage2[SCRAMBLE_LENGTH];
    sha1_of_pair(candidate_stage1, challenge, stage2);
    for (int i = 0; i < SCRAMBLE_LENGTH; ++i) candidate_stage1[i] ^= reply[i];
    sha1_of(recomputed_stage2, candidate_stage1, SCRAMBLE_LENGTH);
    // When the reply is right this is the real stage 1.
    secure_wipe_object(candidate_stage1);
    return compare_digests(stage2, recomputed_stage2);
}

void make_scrambled_password(char out[42], const char* password) {
    // Stage 1 goes into out as scratch; the digits below overwrite it all.
    uint8_t* stage1 = reinterpret_cast<uint8_t*>(out);
    uint8_t stage2[SCRAMBLE_LENGTH];
    sha1_of_password(stage1, password);
    sha1_of(stage2, stage1, SCRAMBLE_LENGTH);
    make_password_from_salt(out, stage2);
}

void get_salt_from_password(uint8_t stage2[20], const char* stored) {
    hex2octet(stage2, stored + 1, 2 * SCRAMBLE_LENGTH);
}

void make_password_from_salt(char out[42], const uint8_t stage2[20]) {
    out[0] = '*';
    octet2hex(out + 1, stage2, SCRAMBLE_LENGTH);
}
