// Key derivation on byte ranges, for the cipher stream inside the library:
// createKey with the project and password given with their lengths rather
// than NUL-terminated (a null pointer with length 0 contributes nothing).
#ifndef SECNATIVE_CIPHER_KEY_DERIVATION_H
#define SECNATIVE_CIPHER_KEY_DERIVATION_H

#include <cstddef>
#include <cstdint>

namespace secnative::cipher {

void create_key(uint8_t out[20], const uint8_t* header, size_t header_len, const char* project,
                size_t project_len, const char* password, size_t password_len);

}  // namespace secnative::cipher

#endif  // SECNATIVE_CIPHER_KEY_DERIVATION_H
