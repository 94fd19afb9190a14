// Heap accounting for the XML benchmark: the benchmark executable replaces
// malloc and its relatives with thin wrappers around glibc's allocator that,
// while counting is on, track the bytes in use, their peak and the number
// of allocations. Every parser under test allocates through these, so the
// figures compare like with like. It also holds the heap settings that all
// the XML benchmarks run with.
#ifndef SECNATIVE_BENCH_XML_BENCH_HEAP_H
#define SECNATIVE_BENCH_XML_BENCH_HEAP_H

#include <malloc.h>

#include <cstddef>

namespace xmlbench {

struct HeapFigures {
    long long peakBytes;    // highest bytes in use above the starting level
    long long allocations;  // malloc, calloc, realloc and aligned calls
};

// Keeps freed memory in the process and large blocks on the heap, for every
// library alike: page faults are expensive on these machines and would
// otherwise be measured instead of the work. Call first thing in main.
inline void keepHeapInProcess() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
}

void startCounting();
HeapFigures stopCounting();

}  // namespace xmlbench

#endif  // SECNATIVE_BENCH_XML_BENCH_HEAP_H
