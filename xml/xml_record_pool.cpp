#include "xml/xml_record_pool.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

// Under AddressSanitizer the slots of a block are poisoned while they are not
// handed out, so that a record used after its release is still caught.
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
// About 8 KB per block (90 records on 64-bit builds): measured on large
// documents, blocks of this size already save nearly all the time that one
// malloc call per record costs, while a record kept alive after its tree is
// gone pins little memory.
constexpr int kSlabBytes = 8000;
constexpr int kRecordsPerSlab =
    static_cast<int>((kSlabBytes - sizeof(std::atomic<int>) - 8) / sizeof(Record));
static_assert(kRecordsPerSlab >= 8, "a block holds several records");
}  // namespace

struct RecordSlab {
    // Records handed out and still alive, plus one while a pool still hands
    // out records from the block.
    std::atomic<int> live;
    Record records[kRecordsPerSlab];
};
static_assert(sizeof(RecordSlab) <= kSlabBytes, "a block keeps to its size");

namespace {

void dropFromSlab(RecordSlab* slab, int count) {
    if (slab->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        UNPOISON(slab->records, sizeof slab->records);
        slab->~RecordSlab();
        std::free(slab);
    }
}

}  // namespace

RecordPool::~RecordPool() {
    // Give back the slots never handed out and the pool's own hold.
    if (slab_) dropFromSlab(slab_, kRecordsPerSlab - used_ + 1);
}

Record* RecordPool::take() {
    if (!slab_ || used_ == kRecordsPerSlab) {
        if (slab_) dropFromSlab(slab_, 1);
        slab_ = new (allocate(sizeof(RecordSlab))) RecordSlab;
        // Every slot counts as alive from the start, so that handing one
        // out needs no atomic operation; unused ones are given back above.
        slab_->live.store(kRecordsPerSlab + 1, std::memory_order_relaxed);
        POISON(slab_->records, sizeof slab_->records);
        used_ = 0;
    }
    Record* r = &slab_->records[used_++];
    UNPOISON(r, sizeof *r);
    std::memset(static_cast<void*>(r), 0, sizeof *r);
    r->slab = slab_;
    return r;
}

void releaseRecord(Record* record) {
    if (!record->slab) {
        std::free(record);
        return;
    }
    RecordSlab* slab = static_cast<RecordSlab*>(record->slab);
    POISON(record, sizeof *record);
    dropFromSlab(slab, 1);
}

}  // namespace secnative::xml
