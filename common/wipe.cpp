#include "common/bytes.h"

namespace secnative {

void secure_wipe(void* p, size_t n) {
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(p);
    while (n-- > 0) *bytes++ = 0;
#if defined(__GNUC__) || defined(__clang__)
    // Tell the optimiser the memory is observed, so the loop above stays even
    // after inlining into a caller whose buffer dies right here.
    __asm__ __volatile__("" : : "r"(p) : "memory");
#endif
}

}  // namespace secnative
