#include "cipher/create_key.h"

#include <cstring>

#include "cipher/key_derivation.h"
#include "common/bytes.h"
#include "crypto/sha1.h"

namespace {

// Binds every stream key to this library, whatever project and password.
constexpr char kSalt[] = "_ardex";

void hash_bytes(sha1_context* sha, const void* bytes, size_t len) {
    if (len > 0) sha1_update(sha, static_cast<const uint8_t*>(bytes), static_cast<uint32_t>(len));
}

size_t text_length(const char* text) {
    return text ? std::strlen(text) : 0;
}

}  // namespace

namespace secnative::cipher {

void create_key(uint8_t out[20], const uint8_t* header, size_t header_len, const char* project,
                size_t project_len, const char* password, size_t password_len) {
    sha1_context sha;
    sha1_init(&sha);
    hash_bytes(&sha, header, header_len);
    hash_bytes(&sha, kSalt, sizeof kSalt - 1);
    hash_bytes(&sha, project, project_len);
    hash_bytes(&sha, password, password_len);
    sha1_final(&sha, out);
    // The hash state still holds the tail of the password in its block.
    secure_wipe_object(sha);
}

}  // namespace secnative::cipher

extern "C" void createKey(char* out, const char* header, int header_len, const char* project,
                          const char* password) {
    uint8_t digest[SHA1_DIGEST_SIZE];
    secnative::cipher::create_key(digest, reinterpret_cast<const uint8_t*>(header),
                                  header_len > 0 ? static_cast<size_t>(header_len) : 0, project,
                                  text_length(project), password, text_length(password));
    std::memcpy(out, digest, sizeof digest);
    secnative::secure_wipe_object(digest);
}
