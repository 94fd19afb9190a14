// How large the long tests run. The memcheck twin of every test program runs
// under valgrind, and the cross builds' tests under an emulator, tens of
// times slower than the program itself; both set SECNATIVE_TEST_SIZE=small:
// the tests that take one path a million times, or a property over many
// seeds, then take it fewer times. That takes the same paths and finds the
// same invalid accesses and leaks; the full sizes run natively, in the
// release and the sanitizer builds.
#ifndef SECNATIVE_TESTS_SUPPORT_TEST_SIZE_H
#define SECNATIVE_TESTS_SUPPORT_TEST_SIZE_H

#include <cstdlib>
#include <cstring>

namespace secnative::test {

inline bool small_test_size() {
    const char* size = std::getenv("SECNATIVE_TEST_SIZE");
    return size != nullptr && std::strcmp(size, "small") == 0;
}

// full in a normal run, small in a small one.
template <typename T>
T test_size(T full, T small) {
    return small_test_size() ? small : full;
}

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_TEST_SIZE_H
