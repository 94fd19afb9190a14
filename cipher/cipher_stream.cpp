#include "cipher/cipher_stream.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "cipher/block_transform.h"
#include "cipher/key_derivation.h"
#include "crypto/aes_rj.h"

namespace secnative::cipher {

const char* status_message(Status status) {
    switch (status) {
        case Status::ok:
            return "";
        case Status::short_header:
            return "data length is less than 16";
        case Status::damaged_context:
            return "buffer is corruptted";
        case Status::block_size:
            return "Input length must be multiple of 16 when decrypting";
        case Status::bad_padding:
            return "Given final block not properly padded";
    }
    return "";
}

uint32_t current_header_time() {
    // The header keeps the low 32 bits of the calendar time.
    return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
}

namespace {

constexpr uint8_t kMagic[4] = {'K', 'E', 'L', 'T'};
constexpr int kKeyBits = 128;

using Schedule = uint32_t[kScheduleSize / 4];
using Transform = void (*)(const uint32_t*, int, const uint8_t*, size_t, uint8_t*);

void build_header(uint8_t* header, uint32_t now) {
    std::memset(header, 0, kHeaderSize);
    std::memcpy(header, kMagic, sizeof kMagic);
    store32_be(header + 8, now);
}

// Derives the stream key from the header, the project and the password and
// stores its AES-128 schedule and round count in the context.
void set_up_key(uint8_t* ctx, const uint8_t* header, ByteView password, bool decrypting) {
    // The stored project up to its NUL, at most its key prefix; the password
    // up to the limit (a NUL inside it ends it, as it would a C string).
    const char* project = reinterpret_cast<const char*>(ctx + kProjectOffset);
    const char* secret = reinterpret_cast<const char*>(password.data);
    const size_t secret_len = secret ? strnlen(secret, std::min(password.size, kPasswordLimit)) : 0;

    uint8_t key[20];
    create_key(key, header, kHeaderSize, project, strnlen(project, kProjectKeyLength), secret,
               secret_len);

    Schedule rk = {};
    const int rounds =
        decrypting ? AES_init_decrypt(rk, key, kKeyBits) : AES_init_encrypt(rk, key, kKeyBits);
    ctx_store_schedule(ctx, rk);
    set_ctx_field(ctx, kRoundsOffset, rounds);
    set_ctx_field(ctx, kHeaderPendingOffset, 0);

    secure_wipe_object(key);
    secure_wipe_object(rk);
}

// The header step. Encrypting, makes the header for plan to emit; decrypting,
// consumes it from the input. Either way the key is set up afterwards.
Status header_step(uint8_t* ctx, ByteView password, uint32_t now, UpdatePlan& plan) {
    if (ctx_decrypting(ctx)) {
        if (plan.input.size < kHeaderSize) return Status::short_header;
        const uint8_t* header = plan.input.data;
        plan.input.data += kHeaderSize;
        plan.input.size -= kHeaderSize;
        set_up_key(ctx, header, password, true);
    } else {
        build_header(plan.header, now);
        plan.header_len = kHeaderSize;
        set_up_key(ctx, plan.header, password, false);
    }
    return Status::ok;
}

// Byte i of the logical sequence carry[0, buffered) followed by the input.
inline uint8_t pending_byte(const uint8_t* carry, size_t buffered, const uint8_t* in, size_t i) {
    return i < buffered ? carry[i] : in[i - buffered];
}

}  // namespace

Status update_prepare(uint8_t* ctx, ByteView input, ByteView password, uint32_t now,
                      UpdatePlan& plan) {
    plan = UpdatePlan{};
    plan.input = input;
    if (ctx_header_pending(ctx)) {
        const Status status = header_step(ctx, password, now, plan);
        if (status != Status::ok) return status;
    }
    if (!context_sound(ctx)) return Status::damaged_context;
    plan.block_bytes = plan_blocks(ctx, plan.input);
    return Status::ok;
}

size_t plan_blocks(const uint8_t* ctx, ByteView input) {
    // Decrypting always holds one whole block back for the final step, which
    // must see the padded block.
    const size_t total = static_cast<size_t>(ctx_buffered(ctx)) + input.size;
    size_t ready = total;
    if (ctx_decrypting(ctx)) ready = total > kBlockSize ? total - kBlockSize : 0;
    return ready - ready % kBlockSize;
}

void update_commit(uint8_t* ctx, const UpdatePlan& plan, uint8_t* out) {
    uint8_t* carry = ctx + kCarryOffset;
    const size_t buffered = static_cast<size_t>(ctx_buffered(ctx));
    const uint8_t* in = plan.input.data;
    const size_t total = buffered + plan.input.size;
    const size_t n = plan.block_bytes;

    if (plan.header_len > 0) std::memcpy(out, plan.header, plan.header_len);
    uint8_t* dst = out + plan.header_len;

    if (n > 0) {
        Schedule rk;
        ctx_load_schedule(ctx, rk);
        const int rounds = ctx_rounds(ctx);
        const Transform transform = ctx_decrypting(ctx) ? decrypt : encrypt;

        // Blocks that start inside the carry are gathered one at a time; the
        // rest go straight from the input to the output.
        size_t done = 0;
        for (; done < n && done < buffered; done += kBlockSize) {
            uint8_t block[kBlockSize];
            for (size_t i = 0; i < kBlockSize; ++i) {
                block[i] = pending_byte(carry, buffered, in, done + i);
            }
            transform(rk, rounds, block, kBlockSize, dst + done);
            secure_wipe_object(block);
        }
        if (done < n) transform(rk, rounds, in + (done - buffered), n - done, dst + done);
        secure_wipe_object(rk);
    }

    // What was not transformed becomes the new carry, oldest byte first.
    uint8_t rest[kCarrySize] = {};
    const size_t rest_len = total - n;
    for (size_t i = 0; i < rest_len; ++i) rest[i] = pending_byte(carry, buffered, in, n + i);
    std::memset(carry, 0, kCarrySize);
    std::memcpy(carry, rest, rest_len);
    set_ctx_field(ctx, kBufferedOffset, static_cast<int32_t>(rest_len));
    secure_wipe_object(rest);
}

namespace {

void final_encrypt(const uint8_t* ctx, const Schedule& rk, uint8_t* out, size_t& out_len) {
    const size_t buffered = static_cast<size_t>(ctx_buffered(ctx));
    const size_t pad = kBlockSize - buffered % kBlockSize;
    uint8_t padded[kCarrySize + kBlockSize];
    std::memcpy(padded, ctx + kCarryOffset, buffered);
    std::memset(padded + buffered, static_cast<int>(pad), pad);
    encrypt(rk, ctx_rounds(ctx), padded, buffered + pad, out);
    out_len = buffered + pad;
    secure_wipe_object(padded);
}

// Checks the pad without branching on the decrypted bytes, so the time taken
// does not tell how much of a forged pad was right.
bool pad_valid(const uint8_t* plain, size_t len, size_t pad) {
    unsigned bad = (pad < 1 || pad > kBlockSize || pad > len) ? 1u : 0u;
    for (size_t i = 1; i <= kBlockSize && i <= len; ++i) {
        const unsigned in_pad = (i <= pad) ? 1u : 0u;
        bad |= in_pad & (plain[len - i] != pad ? 1u : 0u);
    }
    return bad == 0;
}

Status final_decrypt(const uint8_t* ctx, const Schedule& rk, uint8_t* out, size_t& out_len) {
    const size_t buffered = static_cast<size_t>(ctx_buffered(ctx));
    if (buffered % kBlockSize != 0) return Status::block_size;
    if (buffered == 0) return Status::bad_padding;

    uint8_t plain[kCarrySize];
    decrypt(rk, ctx_rounds(ctx), ctx + kCarryOffset, buffered, plain);
    const size_t pad = plain[buffered - 1];
    Status status = Status::bad_padding;
    if (pad_valid(plain, buffered, pad)) {
        out_len = buffered - pad;
        std::memcpy(out, plain, out_len);
        status = Status::ok;
    }
    secure_wipe_object(plain);
    return status;
}

}  // namespace

Status final_step(uint8_t* ctx, ByteView password, uint32_t now, FinalOutput& out) {
    out = FinalOutput{};
    const int32_t buffered = ctx_buffered(ctx);
    if (buffered < 0 || buffered > static_cast<int32_t>(kCarrySize)) {
        return Status::damaged_context;
    }

    // Encrypting an empty stream: the header was never emitted, so it leads
    // the final output and the stream is still well formed.
    size_t header_len = 0;
    if (!ctx_decrypting(ctx) && ctx_header_pending(ctx)) {
        build_header(out.bytes, now);
        set_up_key(ctx, out.bytes, password, false);
        header_len = kHeaderSize;
    }
    if (!context_sound(ctx)) return Status::damaged_context;

    Schedule rk;
    ctx_load_schedule(ctx, rk);
    size_t body_len = 0;
    Status status = Status::ok;
    if (ctx_decrypting(ctx)) {
        status = final_decrypt(ctx, rk, out.bytes + header_len, body_len);
    } else {
        final_encrypt(ctx, rk, out.bytes + header_len, body_len);
    }
    secure_wipe_object(rk);
    if (status == Status::ok) out.size = header_len + body_len;
    return status;
}

}  // namespace secnative::cipher
