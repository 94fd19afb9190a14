// Byte layout of the 320-byte state of one cipher stream.
//
// The Java object keeps this state as a byte array between calls, so every
// field sits at a fixed offset. Integer fields are big-endian on every host;
// only the AES schedule is kept in the machine's own word order, which is
// harmless because a context never leaves the process that made it.
#ifndef SECNATIVE_CIPHER_CIPHER_CONTEXT_H
#define SECNATIVE_CIPHER_CIPHER_CONTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/secret_limits.h"

#include "common/bytes.h"

namespace secnative::cipher {

constexpr size_t kContextSize = 320;
constexpr size_t kHeaderSize = 16;
constexpr size_t kBlockSize = 16;

// Field offsets and sizes.
constexpr size_t kScheduleOffset = 0;
constexpr size_t kScheduleSize = 240;
constexpr size_t kProjectOffset = 240;
constexpr size_t kProjectFieldSize = 32;
constexpr size_t kModeOffset = 272;
constexpr size_t kRoundsOffset = 276;
constexpr size_t kHeaderPendingOffset = 280;
constexpr size_t kBufferedOffset = 284;
constexpr size_t kCarryOffset = 288;
constexpr size_t kCarrySize = 32;
static_assert(kCarryOffset + kCarrySize == kContextSize, "fields must fill the context exactly");

// Longest project name stored in the context, and the prefix of it that
// enters the key.
constexpr size_t kMaxProjectLength = 31;
constexpr size_t kProjectKeyLength = 30;

enum Mode : int32_t { kEncrypt = 1, kDecrypt = 2 };

inline int32_t ctx_field(const uint8_t* ctx, size_t offset) {
    return load_i32_be(ctx + offset);
}
inline void set_ctx_field(uint8_t* ctx, size_t offset, int32_t v) {
    store_i32_be(ctx + offset, v);
}

inline int32_t ctx_mode(const uint8_t* ctx) {
    return ctx_field(ctx, kModeOffset);
}
inline int32_t ctx_rounds(const uint8_t* ctx) {
    return ctx_field(ctx, kRoundsOffset);
}
inline bool ctx_header_pending(const uint8_t* ctx) {
    return ctx_field(ctx, kHeaderPendingOffset) != 0;
}
inline int32_t ctx_buffered(const uint8_t* ctx) {
    return ctx_field(ctx, kBufferedOffset);
}
inline bool ctx_decrypting(const uint8_t* ctx) {
    return ctx_mode(ctx) == kDecrypt;
}

// The schedule is an array of 32-bit words in host order. The byte array may
// sit at any alignment, so it is copied in and out rather than reinterpreted.
inline void ctx_load_schedule(const uint8_t* ctx, uint32_t (&rk)[kScheduleSize / 4]) {
    std::memcpy(rk, ctx + kScheduleOffset, kScheduleSize);
}
inline void ctx_store_schedule(uint8_t* ctx, const uint32_t (&rk)[kScheduleSize / 4]) {
    std::memcpy(ctx + kScheduleOffset, rk, kScheduleSize);
}

// Writes a fresh context: zero-filled, the project upper-cased and cut to 31
// bytes, the mode, and the header step pending. The mode is not checked here;
// callers refuse anything but kEncrypt and kDecrypt before.
void context_init(uint8_t* ctx, int32_t mode, const char* project, size_t project_len);

// True when the fields that steer memory access hold values the steps can
// have produced: buffered within 0..32, and once the header step has run a
// round count of 10, 12 or 14 (before it, nothing may be buffered).
bool context_sound(const uint8_t* ctx);

}  // namespace secnative::cipher

#endif  // SECNATIVE_CIPHER_CIPHER_CONTEXT_H
