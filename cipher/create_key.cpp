#include "cipher/create_key.h"

#include <cstring>

#include "common/bytes.h"
#include "crypto/sha1.h"

namespace {

// Binds every stream key to this library, whatever project and password.
constexpr char kSalt[] = "_ardex";

void hash_text(sha1_context* sha, const char* text) {
    if (text == nullptr) return;
    const size_t len = std::strlen(text);
    if (len > 0)
        sha1_update(sha, reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(len));
}

}  // namespace

extern "C" void createKey(char* out, const char* header, int header_len, const char* project,
                          const char* password) {
    sha1_context sha;
    sha1_init(&sha);
    if (header_len > 0) {
        sha1_update(&sha, reinterpret_cast<const uint8_t*>(header),
                    static_cast<uint32_t>(header_len));
    }
    sha1_update(&sha, reinterpret_cast<const uint8_t*>(kSalt), sizeof kSalt - 1);
    hash_text(&sha, project);
    hash_text(&sha, password);

    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_final(&sha, digest);
    std::memcpy(out, digest, sizeof digest);

    // The hash state still holds the tail of the password in its block.
    secnative::secure_wipe_object(sha);
    secnative::secure_wipe_object(digest);
}
