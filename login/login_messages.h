// The three messages of the login exchange, as plain bytes: the server's
// greeting, the client's request and the server's reply. Nothing here knows
// about Java; the login native moves the bytes and these functions give them
// meaning.
//
//   greeting (100 bytes)  0..59 server information text, zero-padded
//                         64..83 challenge, 97..99 version numbers
//   request  (100 bytes)  0 'S', 44..59 user name, 61 scramble length,
//                         62..81 scramble; every other byte zero
//   reply    (16 bytes)   4..7 client address
#ifndef SECNATIVE_LOGIN_LOGIN_MESSAGES_H
#define SECNATIVE_LOGIN_LOGIN_MESSAGES_H

#include <cstddef>
#include <cstdint>

#include "common/secret_limits.h"

namespace secnative::login {

constexpr size_t kGreetingSize = 100;
constexpr size_t kRequestSize = 100;
constexpr size_t kReplySize = 16;
constexpr size_t kChallengeSize = 20;
constexpr size_t kServerInfoLimit = 60;
constexpr size_t kUserLimit = 16;  // bytes of the user name that are sent
using secnative::kPasswordLimit;   // bytes of the password that are scrambled
constexpr uint8_t kRequestTag = 'S';

// The user name sent when the caller has none.
constexpr char kDefaultUser[] = "guest";

struct Greeting {
    // Bytes 0..59 up to the first zero, made safe for the JVM's modified
    // UTF-8 (see make_modified_utf8); zero-terminated.
    char server_info[kServerInfoLimit + 1];
    // Bytes 64..83 up to the first zero; the rest of the 20 are zero.
    uint8_t challenge[kChallengeSize];
    // "a.b.c" from bytes 97, 98, 99 as unsigned numbers.
    char server_version[sizeof "255.255.255"];
};

void parse_greeting(const uint8_t greeting[kGreetingSize], Greeting& out);

// Writes the login request. user is a zero-terminated text or null: a null
// user is sent as "guest"; of a longer user name only the first 16 bytes go
// out, with no terminator. password holds password_length bytes (it need not
// be terminated): a null or empty password sends no scramble (length 0);
// otherwise its first 31 bytes are scrambled with the challenge. The function
// keeps no copy of the password once it returns.
void build_request(uint8_t request[kRequestSize], const uint8_t challenge[kChallengeSize],
                   const char* user, const char* password, size_t password_length);

// "a.b.c.d" from reply bytes 4..7 as unsigned numbers.
void format_client_address(const uint8_t reply[kReplySize], char out[sizeof "255.255.255.255"]);

// Replaces, in place, every byte of the zero-terminated text that does not
// belong to a well-formed sequence of the JVM's modified UTF-8 (one byte
// 01..7F, or a lead byte C0..DF or E0..EF with one or two continuation bytes
// 80..BF) by '?'. Text from the network goes through here before it becomes
// a Java string: the JVM's behaviour on malformed input is undefined.
// Well-formed text is left exactly as it was.
void make_modified_utf8(char* text);

}  // namespace secnative::login

#endif  // SECNATIVE_LOGIN_LOGIN_MESSAGES_H
