// The round counts of AES-128, -192 and -256 (10, 12 and 14): the only ones
// AES_init_encrypt and AES_init_decrypt return, and the only ones the block
// functions, the instruction paths and a stored cipher context accept.
#ifndef SECNATIVE_CRYPTO_AES_ROUNDS_H
#define SECNATIVE_CRYPTO_AES_ROUNDS_H

namespace secnative::crypto {

constexpr bool aes_rounds_supported(int nr) {
    return nr == 10 || nr == 12 || nr == 14;
}

}  // namespace secnative::crypto

#endif  // SECNATIVE_CRYPTO_AES_ROUNDS_H
