#include "xml_bench_heap.h"

#include <errno.h>
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t size);
void __libc_free(void* block);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

// The benchmark is single-threaded; plain variables suffice.
bool counting = false;
long long live = 0;
long long peak = 0;
long long allocations = 0;

inline void added(void* block) {
    if (!counting || !block) return;
    live += static_cast<long long>(malloc_usable_size(block));
    if (live > peak) peak = live;
    ++allocations;
}

inline void removed(void* block) {
    if (counting && block) live -= static_cast<long long>(malloc_usable_size(block));
}

}  // namespace

namespace xmlbench {

void startCounting() {
    live = peak = allocations = 0;
    counting = true;
}

HeapFigures stopCounting() {
    counting = false;
    return {peak, allocations};
}

}  // namespace xmlbench

extern "C" {

void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    added(block);
    return block;
}

void free(void* block) {
    removed(block);
    __libc_free(block);
}

void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    added(block);
    return block;
}

void* realloc(void* block, size_t size) {
    removed(block);
    void* moved = __libc_realloc(block, size);
    if (moved) {
        added(moved);
    } else if (size && block) {
        // The old block is still there.
        if (counting) live += static_cast<long long>(malloc_usable_size(block));
    }
    return moved;
}

void* memalign(size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    added(block);
    return block;
}

void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
    void* block = memalign(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

void* valloc(size_t size) {
    return memalign(4096, size);
}

}  // extern "C"
