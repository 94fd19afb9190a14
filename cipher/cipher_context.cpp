#include "cipher/cipher_context.h"

#include <cctype>

#include "crypto/aes_rounds.h"

namespace secnative::cipher {

void context_init(uint8_t* ctx, int32_t mode, const char* project, size_t project_len) {
    std::memset(ctx, 0, kContextSize);
    uint8_t* name = ctx + kProjectOffset;
    for (size_t i = 0; i < project_len && i < kMaxProjectLength && project[i] != '\0'; ++i) {
        name[i] = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(project[i])));
    }
    set_ctx_field(ctx, kModeOffset, mode);
    set_ctx_field(ctx, kHeaderPendingOffset, 1);
}

bool context_sound(const uint8_t* ctx) {
    const int32_t buffered = ctx_buffered(ctx);
    if (buffered < 0 || buffered > static_cast<int32_t>(kCarrySize)) return false;
    if (ctx_header_pending(ctx)) return buffered == 0;
    return crypto::aes_rounds_supported(ctx_rounds(ctx));
}

}  // namespace secnative::cipher
