#include "xml/xml_record_pool.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

namespace {

// A parse's first block is under 1 KB, so a small document takes little
// memory; each further block doubles up to 64 KB, so a large document needs
// a block only every few hundred elements. (Blocks from 64 KB up would make
// glibc merge its small free blocks on every block released.)
constexpr size_t kFirstSlabBytes = 1000;
constexpr size_t kLastSlabBytes = 64000;
// What a pool adds to its block's count while it carves from it: far above
// any number of pieces, so releases never reach zero before the pool lets go.
constexpr unsigned kPoolHold = 1u << 30;
// An adders' block counts its pieces and the space handed out in one word.
constexpr unsigned kPiecesMask = 0xFFFF;
constexpr size_t kUnit = alignof(Record);
static_assert(kLastSlabBytes / kUnit <= 0xFFFF, "an adders' block's fill fits 16 bits");

// Blocks allocated and not yet freed (see liveBlocks()).
std::atomic<size_t> blocksAlive{0};

}  // namespace

struct alignas(std::max_align_t) RecordSlab {
    // In a parse's block: the pieces handed out and still alive, plus the
    // pool's hold, kPoolHold, while the pool carves from it.
    // In a block of the public adders, carved by whoever adds a child next to
    // one of its records, on any thread: the pieces alive in the low 16 bits
    // and the space handed out, in units of kUnit, in the high 16 bits, so
    // that one atomic step carves a piece.
    std::atomic<unsigned> live;
    unsigned space;  // an adders' block's bytes behind this header; 0 in a parse's

    char* bytes() { return reinterpret_cast<char*>(this + 1); }
};

namespace {

static_assert(kFirstSlabBytes - sizeof(RecordSlab) >= 8 * sizeof(Record),
              "a block holds several records");

RecordSlab* newSlab(size_t space, unsigned live) {
    const size_t bytes = sizeof(RecordSlab) + space;
    void* memory = std::malloc(bytes);
    if (!memory) outOfMemory(bytes);
    blocksAlive.fetch_add(1, std::memory_order_relaxed);
    RecordSlab* slab = new (memory) RecordSlab;
    slab->live.store(live, std::memory_order_relaxed);
    slab->space = 0;
    SECNATIVE_POISON(slab->bytes(), space);
    return slab;
}

void dropFromSlab(RecordSlab* slab, unsigned count) {
    // Which bits count the pieces is read while the caller's pieces still
    // keep the block: once they are given back, another thread may free it.
    const unsigned pieces = slab->space ? kPiecesMask : ~0u;
    const unsigned left = slab->live.fetch_sub(count, std::memory_order_acq_rel) - count;
    if ((left & pieces) == 0) {
        slab->~RecordSlab();
        std::free(slab);
        blocksAlive.fetch_sub(1, std::memory_order_relaxed);
    }
}

static_assert(sizeof(XMLNode) % alignof(Record) == 0 &&
                  sizeof(XMLAttribute) % alignof(Record) == 0 &&
                  sizeof(XMLClear) % alignof(Record) == 0 && sizeof(char*) % alignof(Record) == 0,
              "packed arrays before the order list keep it aligned");

// Bytes of a record's packed arrays, from its counts.
size_t packedBytes(const Record* r) {
    size_t entries = static_cast<size_t>(r->childCount) + static_cast<size_t>(r->textCount) +
                     static_cast<size_t>(r->clearCount);
    return sizeof(XMLNode) * static_cast<size_t>(r->childCount) +
           sizeof(XMLAttribute) * static_cast<size_t>(r->attributeCount) +
           sizeof(XMLClear) * static_cast<size_t>(r->clearCount) +
           sizeof(char*) * static_cast<size_t>(r->textCount) + sizeof(int) * entries;
}

// Copies n items to p and returns the byte behind them. Most arrays hold
// one entry, which a call to memcpy would copy slower.
template <typename T>
char* copyItems(char* p, const T* items, int n) {
    size_t bytes = sizeof(T) * static_cast<size_t>(n);
    if (n == 1) {
        std::memcpy(p, items, sizeof(T));
    } else {
        std::memcpy(p, items, bytes);
    }
    return p + bytes;
}

}  // namespace

RecordPool::~RecordPool() {
    // Give back the pool's hold, less the pieces it handed out.
    if (slab_) dropFromSlab(slab_, kPoolHold - handedOut_);
}

void RecordPool::nextBlock() {
    if (slab_) dropFromSlab(slab_, kPoolHold - handedOut_);
    blockBytes_ = slab_ ? 2 * blockBytes_ : kFirstSlabBytes;
    if (blockBytes_ > kLastSlabBytes) blockBytes_ = kLastSlabBytes;
    size_t space = (blockBytes_ - sizeof(RecordSlab)) & ~(alignof(Record) - 1);
    slab_ = newSlab(space, kPoolHold);
    next_ = slab_->bytes();
    end_ = next_ + space;
    handedOut_ = 0;
}

void* RecordPool::carveOwnBlock(size_t bytes, RecordSlab** block) {
    RecordSlab* own = newSlab(bytes, 1);
    SECNATIVE_UNPOISON(own->bytes(), bytes);
    *block = own;
    return own->bytes();
}

namespace {

// bytes of an adder block, or NULL when it has no room left (or is a parse
// block). The caller holds a live piece of the block, so it cannot go away
// meanwhile; other threads may carve from it at the same time.
void* carveShared(RecordSlab* slab, size_t bytes) {
    if (!slab || !slab->space) return NULL;
    const unsigned units = static_cast<unsigned>((bytes + kUnit - 1) / kUnit);
    const unsigned room = static_cast<unsigned>(slab->space / kUnit);
    unsigned word = slab->live.load(std::memory_order_relaxed);
    do {
        if (units > room - (word >> 16)) return NULL;
    } while (!slab->live.compare_exchange_weak(word, word + (units << 16) + 1,
                                               std::memory_order_relaxed));
    char* piece = slab->bytes() + (word >> 16) * kUnit;
    SECNATIVE_UNPOISON(piece, bytes);
    return piece;
}

}  // namespace

void* carveForChild(const Record* parent, size_t bytes, RecordSlab** block) {
    // The newest block of a tree being built is most often the one of the
    // latest record below the parent: the end of the chain of last children
    // (followed a few levels down at most). Failing that, the parent's own.
    const Record* latest = parent;
    for (int level = 0; level < 8 && latest->childCount; ++level) {
        latest = XMLNodeAccess::record(latest->children[latest->childCount - 1]);
    }
    // The slabs are written to: a piece is carved from one of them.
    // cppcheck-suppress constVariable
    RecordSlab* near[2] = {static_cast<RecordSlab*>(latest->slab),
                           static_cast<RecordSlab*>(parent->slab)};
    size_t grown = 0;
    for (RecordSlab* slab : near) {
        if (void* piece = carveShared(slab, bytes)) {
            *block = slab;
            return piece;
        }
        if (slab && 2 * size_t(slab->space) > grown) grown = 2 * size_t(slab->space);
    }
    size_t space = grown < kFirstSlabBytes ? kFirstSlabBytes : grown;
    if (space > kLastSlabBytes) space = kLastSlabBytes;
    space = (space - sizeof(RecordSlab)) & ~(alignof(Record) - 1);
    RecordSlab* slab = newSlab(space, 0);
    slab->space = static_cast<unsigned>(space);
    *block = slab;
    return carveShared(slab, bytes);
}

size_t liveBlocks() {
    return blocksAlive.load(std::memory_order_relaxed);
}

void SlabReleaser::flush() {
    if (slab_) dropFromSlab(slab_, count_);
    slab_ = nullptr;
    count_ = 0;
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
    // Every piece is aligned for pointers, and each array's size keeps the
    // next one so aligned.
    if (int n = r->childCount) {
        r->children = static_cast<XMLNode*>(static_cast<void*>(p));
        for (int i = 0; i < n; ++i) XMLNodeAccess::placeHandle(r->children + i, children[i]);
        p += sizeof(XMLNode) * static_cast<size_t>(n);
    }
    if (int n = r->attributeCount) {
        r->attributes = static_cast<XMLAttribute*>(static_cast<void*>(p));
        p = copyItems(p, attributes, n);
    }
    if (int n = r->clearCount) {
        r->clears = static_cast<XMLClear*>(static_cast<void*>(p));
        p = copyItems(p, clears, n);
    }
    if (int n = r->textCount) {
        r->texts = static_cast<char**>(static_cast<void*>(p));
        p = copyItems(p, texts, n);
    }
    if (int n = r->childCount + r->textCount + r->clearCount) {
        r->order = static_cast<int*>(static_cast<void*>(p));
        copyItems(p, order, n);
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
    r->flags = static_cast<unsigned char>(r->flags & kNameWithRecord);  // exact arrays
    SECNATIVE_POISON(start, bytes);
    (void)start;
    (void)bytes;
    dropFromSlab(slab, 1);
}

}  // namespace secnative::xml
