// Heap accounting for the XML benchmark: the benchmark executable replaces
// malloc and its relatives with thin wrappers around glibc's allocator that,
// while counting is on, track the bytes in use, their peak and the number
// of allocations. Every parser under test allocates through these, so the
// figures compare like with like.
#ifndef SECNATIVE_BENCH_XML_BENCH_HEAP_H
#define SECNATIVE_BENCH_XML_BENCH_HEAP_H

#include <cstddef>

namespace xmlbench {

struct HeapFigures {
    long long peakBytes;    // highest bytes in use above the starting level
    long long allocations;  // malloc, calloc, realloc and aligned calls
};

void startCounting();
HeapFigures stopCounting();

}  // namespace xmlbench

#endif  // SECNATIVE_BENCH_XML_BENCH_HEAP_H
