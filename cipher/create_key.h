// Key derivation for the stream cipher: SHA-1 over the stream header, the
// fixed salt, the project name and the password.
#ifndef SECNATIVE_CIPHER_CREATE_KEY_H
#define SECNATIVE_CIPHER_CREATE_KEY_H

#include "common/export.h"

SECNATIVE_EXTERN_C_BEGIN

// Writes 20 bytes of key material to out. header_len bytes of header are
// hashed; project and password are NUL-terminated and may be null or empty,
// in which case they contribute nothing. The AES-128 key is the first 16
// bytes of the result.
SECNATIVE_API void createKey(char* out, const char* header, int header_len, const char* project,
                             const char* password);

SECNATIVE_EXTERN_C_END

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>

namespace secnative::cipher {

// createKey on byte ranges: the project and password with their lengths
// rather than NUL-terminated (a null pointer with length 0 contributes
// nothing).
void create_key(uint8_t out[20], const uint8_t* header, size_t header_len, const char* project,
                size_t project_len, const char* password, size_t password_len);

}  // namespace secnative::cipher
#endif

#endif  // SECNATIVE_CIPHER_CREATE_KEY_H
