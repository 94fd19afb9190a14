// How much of a password counts: the cipher's stream key and the login's
// scramble both take at most its first kPasswordLimit bytes (of its modified
// UTF-8 form when it comes from Java), and ignore the rest.
#ifndef SECNATIVE_COMMON_SECRET_LIMITS_H
#define SECNATIVE_COMMON_SECRET_LIMITS_H

#include <cstddef>

namespace secnative {

constexpr size_t kPasswordLimit = 31;

}  // namespace secnative

#endif  // SECNATIVE_COMMON_SECRET_LIMITS_H
