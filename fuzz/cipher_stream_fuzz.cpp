// libFuzzer target for the cipher steps.
//
// The first bytes of the input choose how the rest is cut into updates and
// may overwrite context fields between calls, the way a damaged Java array
// would; the rest is fed as ciphertext. Whatever arrives, the steps must
// stay inside the context and the given ranges (the sanitizers watch that),
// and a stream encrypted from the same bytes must decrypt back to them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cipher/cipher_stream.h"

namespace {

using namespace secnative::cipher;

constexpr uint8_t kPassword[] = "fuzz";
constexpr ByteView kSecret{kPassword, sizeof kPassword - 1};

// Runs one stream over data in pieces of the sizes cycled from cuts.
// Returns false when a step failed.
bool run(uint8_t* ctx, const uint8_t* data, size_t size, const uint8_t* cuts, size_t ncuts,
         std::vector<uint8_t>& out) {
    size_t pos = 0, turn = 0;
    do {
        // Empty updates are allowed, but after enough turns the rest goes in
        // whole so that every stream ends.
        const size_t piece = ncuts && turn < 4 * ncuts + size ? cuts[turn % ncuts] : size;
        ++turn;
        const size_t len = piece < size - pos ? piece : size - pos;
        UpdatePlan plan;
        if (update_prepare(ctx, {data + pos, len}, kSecret, 1234, plan) != Status::ok) {
            return false;
        }
        const size_t at = out.size();
        out.resize(at + plan.output_len());
        update_commit(ctx, plan, out.data() + at);
        pos += len;
    } while (pos < size);
    FinalOutput last;
    if (final_step(ctx, kSecret, 1234, last) != Status::ok) return false;
    out.insert(out.end(), last.bytes, last.bytes + last.size);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const size_t ncuts = data[0] % 8;
    const uint8_t poke = data[1];
    if (size < 4 + ncuts) return 0;
    const uint8_t* cuts = data + 2;
    const uint8_t* body = data + 2 + ncuts;
    const size_t body_size = size - 2 - ncuts;

    // Decrypt arbitrary bytes, optionally with a damaged field.
    uint8_t ctx[kContextSize];
    context_init(ctx, kDecrypt, "FUZZ", 4);
    if (poke & 0x80) {
        const size_t offsets[] = {kRoundsOffset, kHeaderPendingOffset, kBufferedOffset,
                                  kModeOffset};
        int32_t value = static_cast<int32_t>(body_size ? body[0] : 0) - 64;
        set_ctx_field(ctx, offsets[poke & 3], value);
    }
    std::vector<uint8_t> plain;
    run(ctx, body, body_size, cuts, ncuts, plain);

    // Encrypt the same bytes and check they come back.
    std::vector<uint8_t> stream, back;
    context_init(ctx, kEncrypt, "FUZZ", 4);
    if (!run(ctx, body, body_size, cuts, ncuts, stream)) abort();
    context_init(ctx, kDecrypt, "FUZZ", 4);
    if (!run(ctx, stream.data(), stream.size(), nullptr, 0, back)) abort();
    if (back.size() != body_size || (body_size && std::memcmp(back.data(), body, body_size) != 0)) {
        abort();
    }
    return 0;
}
