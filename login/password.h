// The challenge-response password family of the server login.
//
// The server keeps only stage 2 = SHA-1(SHA-1(password)), written as the
// stored form '*' + 40 upper-case hexadecimal digits. At login it sends a
// 20-byte challenge; the client answers
//
//     reply = SHA-1(challenge || stage 2) XOR stage 1,  stage 1 = SHA-1(password)
//
// and the server recovers stage 1 from the reply and checks that its SHA-1
// is the stored stage 2. Stage 1 never travels in the clear and is not
// derivable from the stored form.
//
// No function allocates, validates its input or fails; every output buffer
// belongs to the caller and must be large enough. Copies of stage 1 and of
// hash states fed with the password are wiped before the functions return.
#ifndef SECNATIVE_LOGIN_PASSWORD_H
#define SECNATIVE_LOGIN_PASSWORD_H

#include <stdint.h>

#include "common/export.h"
#include "login/hex_codec.h"
#include "login/random_string.h"

SECNATIVE_EXTERN_C_BEGIN

enum {
    SCRAMBLE_LENGTH = 20,            // challenge, reply, stage 1 and stage 2
    SCRAMBLED_PASSWORD_LENGTH = 41,  // '*' and 40 digits, without the terminator
    SCRAMBLED_PASSWORD_BUFFER = 42,  // with the terminator
};

// Writes the reply to challenge for the zero-terminated password.
SECNATIVE_API void scramble(uint8_t out[20], const uint8_t challenge[20], const char* password);

// Returns 0 when reply proves knowledge of the password whose stage 2 is
// given, otherwise non-zero with the sign of the first differing byte of the
// given stage 2 against the recomputed one (given greater: positive). The
// comparison reads all 20 bytes whatever their contents. reply is not changed.
SECNATIVE_API int check_scramble(const uint8_t reply[20], const uint8_t challenge[20],
                                 const uint8_t stage2[20]);

// Writes the stored form of the zero-terminated password: 41 characters and
// a terminator.
SECNATIVE_API void make_scrambled_password(char out[42], const char* password);

// Decodes stage 2 from a stored form: the 40 characters after the first one,
// whatever that first character is. Lower-case digits are accepted.
SECNATIVE_API void get_salt_from_password(uint8_t stage2[20], const char* stored);

// Writes the stored form of stage 2: '*', 40 upper-case digits, terminator.
SECNATIVE_API void make_password_from_salt(char out[42], const uint8_t stage2[20]);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_LOGIN_PASSWORD_H
