#include "support/guarded_bytes.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace secnative::test {

GuardedBytes::GuardedBytes(size_t size) : size_(size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t room = (size + page - 1) / page * page;
    mapSize_ = room + page;
    map_ = mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map_ == MAP_FAILED) throw std::bad_alloc();
    uint8_t* guard = static_cast<uint8_t*>(map_) + room;
    if (mprotect(guard, page, PROT_NONE) != 0) {
        munmap(map_, mapSize_);
        throw std::bad_alloc();
    }
    data_ = guard - size;
}

GuardedBytes::GuardedBytes(std::string_view text, bool terminated)
    : GuardedBytes(text.size() + (terminated ? 1 : 0)) {
    if (!text.empty()) std::memcpy(data_, text.data(), text.size());
}

GuardedBytes::~GuardedBytes() {
    munmap(map_, mapSize_);
}

void* GuardedBytes::aligned(size_t alignment) {
    // The guard page is aligned, so the bytes are whenever their size is a
    // multiple of the alignment.
    if (reinterpret_cast<uintptr_t>(data_) % alignment != 0) std::abort();
    return data_;
}

}  // namespace secnative::test
