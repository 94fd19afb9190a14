#include "xml/xml_record_pool.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

// Under AddressSanitizer the parts of a block that are not handed out are
// poisoned, so that a record or array used after its release is still
// caught.
#if defined(__SANITIZE_ADDRESS__)
#define SECNATIVE_XML_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SECNATIVE_XML_ASAN 1
#endif
#endif
#ifdef SECNATIVE_XML_ASAN
#include <sanitizer/asan_interface.h>
#define POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define POISON(p, n) ((void)(p), (void)(n))
#define UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace secnative::xml {

namespace {

// A parse's first block is under 1 KB, so a small document takes little
// memory; each further block doubles up to 64 KB, so a large document needs
// a block only every few hundred elements. (Blocks from 64 KB up would make
// glibc merge its small free blocks on every block released.)
constexpr size_t kFirstSlabBytes = 1000;
constexpr size_t kLastSlabBytes = 64000;
// A block's count while a pool still carves from it: far above any number
// of pieces, so releases never reach zero before the pool lets go.
constexpr int kCarving = 1 << 30;

constexpr size_t alignUp(size_t n) {
    return (n + alignof(Record) - 1) & ~(alignof(Record) - 1);
}

}  // namespace

struct alignas(std::max_align_t) RecordSlab {
    // Pieces handed out and still alive, plus kCarving while a pool carves.
    std::atomic<int> live;

    char* bytes() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

static_assert(kFirstSlabBytes - sizeof(RecordSlab) >= 8 * sizeof(Record),
              "a block holds several records");

RecordSlab* newSlab(size_t space, int live) {
    RecordSlab* slab = new (allocate(sizeof(RecordSlab) + space)) RecordSlab;
    slab->live.store(live, std::memory_order_relaxed);
    POISON(slab->bytes(), space);
    return slab;
}

void dropFromSlab(RecordSlab* slab, int count) {
    if (slab->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        slab->~RecordSlab();
        std::free(slab);
    }
}

// Bytes of a record's packed arrays, from its counts.
size_t packedBytes(const Record* r) {
    size_t entries = static_cast<size_t>(r->childCount + r->textCount + r->clearCount);
    return sizeof(XMLNode) * static_cast<size_t>(r->childCount) +
           sizeof(XMLAttribute) * static_cast<size_t>(r->attributeCount) +
           sizeof(XMLClear) * static_cast<size_t>(r->clearCount) +
           sizeof(char*) * static_cast<size_t>(r->textCount) + sizeof(int) * entries;
}

}  // namespace

RecordPool::~RecordPool() {
    // Give back the pool's hold, less the pieces it handed out.
    if (slab_) dropFromSlab(slab_, kCarving - handedOut_);
}

void* RecordPool::carveFromCurrent(size_t bytes, RecordSlab** block) {
    size_t need = alignUp(bytes);
    if (!slab_ || space_ - used_ < need) {
        if (slab_) dropFromSlab(slab_, kCarving - handedOut_);
        size_t total = slab_ ? 2 * (space_ + sizeof(RecordSlab)) : kFirstSlabBytes;
        if (total > kLastSlabBytes) total = kLastSlabBytes;
        space_ = (total - sizeof(RecordSlab)) & ~(alignof(Record) - 1);
        slab_ = newSlab(space_, kCarving);
        used_ = 0;
        handedOut_ = 0;
    }
    char* piece = slab_->bytes() + used_;
    used_ += need;
    ++handedOut_;
    UNPOISON(piece, bytes);
    *block = slab_;
    return piece;
}

Record* RecordPool::take() {
    RecordSlab* slab;
    Record* r = static_cast<Record*>(carveFromCurrent(sizeof(Record), &slab));
    std::memset(static_cast<void*>(r), 0, sizeof *r);
    r->slab = slab;
    return r;
}

void* RecordPool::carve(size_t bytes, RecordSlab** block) {
    // Arrays that would take much of a block get a block of their own.
    if (bytes > kFirstSlabBytes / 4) {
        RecordSlab* own = newSlab(bytes, 1);
        UNPOISON(own->bytes(), bytes);
        *block = own;
        return own->bytes();
    }
    return carveFromCurrent(bytes, block);
}

void SlabReleaser::drop(RecordSlab* slab, void* piece, size_t bytes) {
    POISON(piece, bytes);
    (void)piece;
    (void)bytes;
    if (slab != slab_) {
        flush();
        slab_ = slab;
    }
    ++count_;
}

void SlabReleaser::flush() {
    if (slab_) dropFromSlab(slab_, count_);
    slab_ = nullptr;
    count_ = 0;
}

void releaseRecord(Record* record, SlabReleaser* releaser) {
    if (!record->slab) {
        std::free(record);
        return;
    }
    releaser->drop(static_cast<RecordSlab*>(record->slab), record, sizeof *record);
}

namespace {

// The first byte of a record's packed arrays: they lie in the order
// children, attributes, clear items, texts, order list, and empty ones are
// NULL.
void* packedStart(const Record* r) {
    if (r->children) return r->children;
    if (r->attributes) return r->attributes;
    if (r->clears) return r->clears;
    if (r->texts) return r->texts;
    return r->order;
}

template <typename T>
T* ownCopy(const T* array, int count) {
    if (!array || count == 0) return NULL;
    size_t bytes = sizeof(T) * static_cast<size_t>(count);
    T* copy = static_cast<T*>(allocate(bytes));
    std::memcpy(static_cast<void*>(copy), static_cast<const void*>(array), bytes);
    return copy;
}

}  // namespace

void packArrays(RecordPool* pool, Record* r, Record* const* children,
                const XMLAttribute* attributes, const XMLClear* clears, char* const* texts,
                const int* order) {
    size_t bytes = packedBytes(r);
    if (bytes == 0) return;
    RecordSlab* block;
    char* p = static_cast<char*>(pool->carve(bytes, &block));
    r->arrays = block;
    if (r->childCount) {
        r->children = reinterpret_cast<XMLNode*>(p);
        for (int i = 0; i < r->childCount; ++i)
            XMLNodeAccess::placeHandle(r->children + i, children[i]);
        p += sizeof(XMLNode) * static_cast<size_t>(r->childCount);
    }
    if (r->attributeCount) {
        r->attributes = reinterpret_cast<XMLAttribute*>(p);
        size_t n = sizeof(XMLAttribute) * static_cast<size_t>(r->attributeCount);
        std::memcpy(r->attributes, attributes, n);
        p += n;
    }
    if (r->clearCount) {
        r->clears = reinterpret_cast<XMLClear*>(p);
        size_t n = sizeof(XMLClear) * static_cast<size_t>(r->clearCount);
        std::memcpy(r->clears, clears, n);
        p += n;
    }
    if (r->textCount) {
        r->texts = reinterpret_cast<char**>(p);
        size_t n = sizeof(char*) * static_cast<size_t>(r->textCount);
        std::memcpy(r->texts, texts, n);
        p += n;
    }
    int entries = r->childCount + r->textCount + r->clearCount;
    if (entries) {
        r->order = reinterpret_cast<int*>(p);
        std::memcpy(r->order, order, sizeof(int) * static_cast<size_t>(entries));
    }
}

void releaseArrays(Record* r, SlabReleaser* releaser) {
    if (r->arrays) {
        releaser->drop(static_cast<RecordSlab*>(r->arrays), packedStart(r), packedBytes(r));
    } else {
        std::free(r->children);
        std::free(r->texts);
        std::free(r->clears);
        std::free(r->attributes);
        std::free(r->order);
    }
    r->children = NULL;
    r->texts = NULL;
    r->clears = NULL;
    r->attributes = NULL;
    r->order = NULL;
    r->arrays = NULL;
}

void separateArrays(Record* r) {
    if (!r->arrays) return;
    RecordSlab* slab = static_cast<RecordSlab*>(r->arrays);
    void* start = packedStart(r);
    size_t bytes = packedBytes(r);
    r->children = ownCopy(r->children, r->childCount);
    r->attributes = ownCopy(r->attributes, r->attributeCount);
    r->clears = ownCopy(r->clears, r->clearCount);
    r->texts = ownCopy(r->texts, r->textCount);
    r->order = ownCopy(r->order, r->childCount + r->textCount + r->clearCount);
    r->arrays = NULL;
    POISON(start, bytes);
    (void)start;
    (void)bytes;
    dropFromSlab(slab, 1);
}

}  // namespace secnative::xml
