#include "cipher/block_transform.h"

#include "crypto/aes_rj.h"

namespace secnative::cipher {

constexpr size_t kAesBlock = AES_BLOCK_SIZE;

void encrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out) {
    for (size_t off = 0; off + kAesBlock <= len; off += kAesBlock) {
        AES_encrypt_rj(rk, rounds, in + off, out + off);
    }
}

void decrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out) {
    for (size_t off = 0; off + kAesBlock <= len; off += kAesBlock) {
        AES_decrypt_rj(rk, rounds, in + off, out + off);
    }
}

}  // namespace secnative::cipher
