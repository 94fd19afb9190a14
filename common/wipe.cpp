#include <cstring>

#include "common/bytes.h"

namespace secnative {

void secure_wipe(void* p, size_t n) {
#if defined(__GNUC__) || defined(__clang__)
    std::memset(p, 0, n);
    // The empty asm claims to read the memory behind p, so the compiler must
    // keep the memset even when the buffer dies right after this call.
    __asm__ __volatile__("" : : "r"(p) : "memory");
#else
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(p);
    while (n-- > 0) *bytes++ = 0;
#endif
}

}  // namespace secnative
