#include "cipher/block_transform.h"

#include "crypto/aes_ni.h"
#include "crypto/aes_rj.h"
#include "crypto/cpu_features.h"

namespace secnative::cipher {
namespace {

constexpr size_t kAesBlock = AES_BLOCK_SIZE;

using BulkFunction = void (*)(const uint32_t*, int, const uint8_t*, size_t, uint8_t*);

// The widest engine this processor runs: 256-bit VAES, then AES-NI; null
// when only the table engine is left (other processors, other builds, or the
// portable switch on).
BulkFunction hardware_engine(bool decrypting) {
#ifdef SECNATIVE_AES_NI
    const uint32_t features = crypto::cpu_features();
    if (features & crypto::kCpuVaesAvx2) {
        return decrypting ? crypto::aes_vaes_decrypt_blocks : crypto::aes_vaes_encrypt_blocks;
    }
    if (features & crypto::kCpuAes) {
        return decrypting ? crypto::aes_ni_decrypt_blocks : crypto::aes_ni_encrypt_blocks;
    }
#else
    (void)decrypting;
#endif
    return nullptr;
}

// The whole blocks of in, on the widest engine there is, or one at a time on
// the table engine.
template <bool kDecrypt>
void transform(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out) {
    const size_t blocks = len / kAesBlock;
    if (blocks == 0) return;
    if (const BulkFunction engine = hardware_engine(kDecrypt)) {
        engine(rk, rounds, in, blocks, out);
        return;
    }
    for (size_t off = 0; off < blocks * kAesBlock; off += kAesBlock) {
        if (kDecrypt) {
            AES_decrypt_rj(rk, rounds, in + off, out + off);
        } else {
            AES_encrypt_rj(rk, rounds, in + off, out + off);
        }
    }
}

}  // namespace

void encrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out) {
    transform<false>(rk, rounds, in, len, out);
}

void decrypt(const uint32_t* rk, int rounds, const uint8_t* in, size_t len, uint8_t* out) {
    transform<true>(rk, rounds, in, len, out);
}

}  // namespace secnative::cipher
