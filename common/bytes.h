// Byte-order and memory helpers shared by every subsystem.
//
// Every stored or exchanged integer is written most significant byte first,
// one byte at a time, so results never depend on the host's byte order or on
// the alignment of the buffer. Nothing here casts a byte pointer to a wider
// type.
#ifndef SECNATIVE_COMMON_BYTES_H
#define SECNATIVE_COMMON_BYTES_H

#include <cstddef>
#include <cstdint>

namespace secnative {

inline uint32_t load32_be(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void store32_be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Signed 32-bit fields travel as their two's-complement bit pattern.
inline int32_t load_i32_be(const uint8_t* p) {
    return static_cast<int32_t>(load32_be(p));
}
inline void store_i32_be(uint8_t* p, int32_t v) {
    store32_be(p, static_cast<uint32_t>(v));
}

// Overwrites n bytes with zeros in a way the compiler cannot drop as dead
// stores, even when the buffer is never read again: a memset followed by a
// barrier that claims to read the memory (GCC and Clang), or volatile stores
// (other compilers).
// Use it on every copy of a password or of key material before it goes out
// of scope.
void secure_wipe(void* p, size_t n);

// Wipes a fixed-size object (array or plain struct) in place.
template <typename T>
inline void secure_wipe_object(T& object) {
    secure_wipe(&object, sizeof(object));
}

}  // namespace secnative

#endif  // SECNATIVE_COMMON_BYTES_H
