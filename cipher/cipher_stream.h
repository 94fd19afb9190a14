// The three steps of a cipher stream, on a 320-byte context and plain byte
// ranges: no Java, no allocation, no global state.
//
//   update  = header step (first call only) + block step
//   doFinal = final step (padding, or its check)
//
// An update runs in two halves so that a caller can size its output buffer in
// between: update_prepare() runs the header step and the checks and says how
// many bytes will come out; update_commit() writes them and moves the carry.
// Nothing fails in update_commit().
#ifndef SECNATIVE_CIPHER_CIPHER_STREAM_H
#define SECNATIVE_CIPHER_CIPHER_STREAM_H

#include <cstddef>
#include <cstdint>

#include "cipher/cipher_context.h"

namespace secnative::cipher {

enum class Status {
    ok,
    short_header,     // decrypting, and the first update brought fewer than 16 bytes
    damaged_context,  // the context holds values no step can have written
    block_size,       // decrypting, and the data is not whole blocks
    bad_padding,      // decrypting, and the final block is missing or its pad is invalid
};

// The fixed message that goes with each failure.
const char* status_message(Status status);

struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// Seconds since 1970-01-01 UTC from the system clock, as the header stores it.
uint32_t current_header_time();

struct UpdatePlan {
    uint8_t header[kHeaderSize] = {};
    size_t header_len = 0;   // 16 when this call emits the stream header
    ByteView input;          // the input after any consumed header
    size_t block_bytes = 0;  // bytes of carry + input transformed by this call
    size_t output_len() const { return header_len + block_bytes; }
};

// First half of an update. Runs the header step while one is pending (the
// password is read only then, at most its first 31 bytes), then checks the
// context. On Status::ok, plan says what update_commit() will write.
//
// Short header leaves ctx untouched; a damaged context keeps what the header
// step of this call wrote but nothing else changes.
Status update_prepare(uint8_t* ctx, ByteView input, ByteView password, uint32_t now,
                      UpdatePlan& plan);

// The bytes of carry + input that an update transforms: whole blocks, less
// the block that decrypting holds back for the final step. The header step
// must be done and the context sound.
size_t plan_blocks(const uint8_t* ctx, ByteView input);

// Second half: writes plan.output_len() bytes to out (header, then the
// transformed blocks) and keeps the untransformed rest in the carry. out may
// be null when output_len() is 0.
void update_commit(uint8_t* ctx, const UpdatePlan& plan, uint8_t* out);

// Largest output of the final step: a pending header, then up to 32 carried
// bytes padded to 48.
constexpr size_t kMaxFinalOutput = kHeaderSize + kCarrySize + kBlockSize;

struct FinalOutput {
    uint8_t bytes[kMaxFinalOutput] = {};
    size_t size = 0;
};

// The final step. Encrypting, pads the carry and enciphers it; if the header
// is still pending it runs first, so the output starts with the header.
// Decrypting, deciphers the held-back block(s), checks and strips the pad.
// After anything but Status::damaged_context the stream is over.
Status final_step(uint8_t* ctx, ByteView password, uint32_t now, FinalOutput& out);

}  // namespace secnative::cipher

#endif  // SECNATIVE_CIPHER_CIPHER_STREAM_H
