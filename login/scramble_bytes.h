// The password scramble over a password given with its length, for callers
// inside the library that already know it (and may hold a password that is
// not zero-terminated). scramble() is this over strlen(password) bytes.
#ifndef SECNATIVE_LOGIN_SCRAMBLE_BYTES_H
#define SECNATIVE_LOGIN_SCRAMBLE_BYTES_H

#include <cstddef>
#include <cstdint>

namespace secnative::login {

void scramble_bytes(uint8_t out[20], const uint8_t challenge[20], const char* password,
                    size_t length);

}  // namespace secnative::login

#endif  // SECNATIVE_LOGIN_SCRAMBLE_BYTES_H
