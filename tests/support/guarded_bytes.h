// Bytes that end where an inaccessible page begins. A read or a write one
// byte past them faults in every build; a heap block of the exact size is
// caught only under AddressSanitizer or valgrind, while a release build
// reads or writes the allocator's slack and goes on.
#ifndef SECNATIVE_TESTS_SUPPORT_GUARDED_BYTES_H
#define SECNATIVE_TESTS_SUPPORT_GUARDED_BYTES_H

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace secnative::test {

class GuardedBytes {
  public:
    // size zero bytes.
    explicit GuardedBytes(size_t size);
    // A copy of the bytes of text; with terminated, and a NUL behind them,
    // which is then the last byte before the guard.
    explicit GuardedBytes(std::string_view text, bool terminated = false);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    uint8_t* data() { return data_; }
    char* chars() { return reinterpret_cast<char*>(data_); }
    size_t size() const { return size_; }
    // The bytes as an array of T; size must be a multiple of sizeof(T), so
    // that the array is aligned as T needs.
    template <typename T>
    T* as() {
        return static_cast<T*>(aligned(alignof(T)));
    }

  private:
    void* aligned(size_t alignment);

    void* map_ = nullptr;
    size_t mapSize_ = 0;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_GUARDED_BYTES_H
