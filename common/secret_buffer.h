// Fixed-size buffers for secrets that wipe themselves when their scope ends,
// on every path out of it, exceptions included. Neither copies, moves nor
// grows, so no stray copy of a secret is left behind in freed memory.
#ifndef SECNATIVE_COMMON_SECRET_BUFFER_H
#define SECNATIVE_COMMON_SECRET_BUFFER_H

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

namespace secnative {

// A zero-filled buffer of N elements, wiped when the scope ends, for
// passwords, keys and stream states that hold key schedules.
template <typename T, size_t N>
class SecretBuffer {
  public:
    SecretBuffer() = default;
    ~SecretBuffer() { secure_wipe_object(bytes_); }
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;

    T* data() { return bytes_; }
    const T* data() const { return bytes_; }
    static constexpr size_t size() { return N; }
    T (&array())[N] { return bytes_; }

  private:
    T bytes_[N] = {};
};

// Room for up to N bytes of per-call data that may be secret (an input or
// output that is plaintext on one side of the cipher). Unlike SecretBuffer it
// is not zeroed first, and only the part taken with use() is wiped when the
// scope ends, so a small call pays for the bytes it moves, not for N.
template <size_t N>
class SecretScratch {
  public:
    // The bytes are left as they are: whoever uses them writes them first.
    // cppcheck-suppress uninitMemberVar
    SecretScratch() = default;
    ~SecretScratch() { secure_wipe(bytes_, used_); }
    SecretScratch(const SecretScratch&) = delete;
    SecretScratch& operator=(const SecretScratch&) = delete;

    // The first n bytes (n at most N), wiped at the end of the scope.
    uint8_t* use(size_t n) {
        used_ = n < N ? n : N;
        return bytes_;
    }

  private:
    uint8_t bytes_[N];
    size_t used_ = 0;
};

}  // namespace secnative

#endif  // SECNATIVE_COMMON_SECRET_BUFFER_H
