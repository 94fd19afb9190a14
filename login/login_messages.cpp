#include "login/login_messages.h"

#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "login/password.h"
#include "login/scramble_bytes.h"

namespace secnative::login {

namespace {

constexpr size_t kInfoOffset = 0;
constexpr size_t kChallengeOffset = 64;
constexpr size_t kVersionOffset = 97;
constexpr size_t kUserOffset = 44;
constexpr size_t kScrambleLengthOffset = 61;
constexpr size_t kScrambleOffset = 62;
constexpr size_t kAddressOffset = 4;

// Copies src up to its first zero byte, at most limit bytes, and zero-fills
// the rest of dst[0..limit).
void copy_zero_padded(uint8_t* dst, const uint8_t* src, size_t limit) {
    size_t i = 0;
    for (; i < limit && src[i] != 0; ++i) dst[i] = src[i];
    for (; i < limit; ++i) dst[i] = 0;
}

bool is_continuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed sequence starting at text, or 0 if there is none.
size_t sequence_length(const uint8_t* text) {
    const uint8_t lead = text[0];
    if (lead < 0x80) return 1;
    if (lead >= 0xC0 && lead <= 0xDF) return is_continuation(text[1]) ? 2 : 0;
    // The terminator is no continuation byte, so text[2] is read only when
    // text[1] is one and the text goes on.
    if (lead >= 0xE0 && lead <= 0xEF) {
        return is_continuation(text[1]) && is_continuation(text[2]) ? 3 : 0;
    }
    return 0;
}

}  // namespace

void parse_greeting(const uint8_t greeting[kGreetingSize], Greeting& out) {
    copy_zero_padded(reinterpret_cast<uint8_t*>(out.server_info), greeting + kInfoOffset,
                     kServerInfoLimit);
    out.server_info[kServerInfoLimit] = '\0';
    make_modified_utf8(out.server_info);
    copy_zero_padded(out.challenge, greeting + kChallengeOffset, kChallengeSize);
    std::snprintf(out.server_version, sizeof out.server_version, "%u.%u.%u",
                  greeting[kVersionOffset], greeting[kVersionOffset + 1],
                  greeting[kVersionOffset + 2]);
}

void build_request(uint8_t request[kRequestSize], const uint8_t challenge[kChallengeSize],
                   const char* user, const char* password, size_t password_length) {
    std::memset(request, 0, kRequestSize);
    request[0] = kRequestTag;
    if (user == nullptr) user = kDefaultUser;
    copy_zero_padded(request + kUserOffset, reinterpret_cast<const uint8_t*>(user), kUserLimit);

    if (password == nullptr || password_length == 0) return;  // no scramble, length 0
    // Only the first 31 bytes count; the server's stored form must have been
    // made from the same bytes.
    scramble_bytes(request + kScrambleOffset, challenge, password,
                   password_length < kPasswordLimit ? password_length : kPasswordLimit);
    request[kScrambleLengthOffset] = SCRAMBLE_LENGTH;
}

void format_client_address(const uint8_t reply[kReplySize], char out[sizeof "255.255.255.255"]) {
    const uint8_t* address = reply + kAddressOffset;
    std::snprintf(out, sizeof "255.255.255.255", "%u.%u.%u.%u", address[0], address[1], address[2],
                  address[3]);
}

void make_modified_utf8(char* text) {
    uint8_t* byte = reinterpret_cast<uint8_t*>(text);
    while (*byte != 0) {
        const size_t length = sequence_length(byte);
        if (length == 0) {
            *byte++ = '?';
        } else {
            byte += length;
        }
    }
}

}  // namespace secnative::login
