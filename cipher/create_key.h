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

#endif  // SECNATIVE_CIPHER_CREATE_KEY_H
