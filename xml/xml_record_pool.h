// Node records and item arrays made by the parser and by deepCopy come from
// blocks shared by many of them instead of one malloc call each: a record
// (with its name, when short) and the arrays of one record packed side by
// side are each a piece carved from a block of one pool. The public adders
// carve each new child from a block of its relatives instead, since a tree
// built item by item has no pool of its own. Callers never see the
// difference. A record is released through releaseRecord, which frees a
// record of its own with free() and otherwise gives its piece back to the
// block; packed arrays go back the same way. A block is freed with its last
// piece. Blocks are counted, and the adders' blocks carved, atomically:
// records of one block may end up in different trees used by different
// threads.
#ifndef SECNATIVE_XML_XML_RECORD_POOL_H
#define SECNATIVE_XML_XML_RECORD_POOL_H

#include <cstddef>
#include <cstring>

#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

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
#define SECNATIVE_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define SECNATIVE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define SECNATIVE_POISON(p, n) ((void)(p), (void)(n))
#define SECNATIVE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace secnative::xml {

struct RecordSlab;

// Names of up to this many bytes, the NUL included, are stored with their
// record in a block's piece.
constexpr size_t kInlineNameBytes = 128;

// Hands out records and array space to one parse, one block after the other.
class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool();

    // A record with every field cleared but slab, owned by the caller.
    Record* take() {
        RecordSlab* slab;
        Record* r = static_cast<Record*>(carveSmall(sizeof(Record), &slab));
        std::memset(static_cast<void*>(r), 0, sizeof *r);
        r->slab = slab;
        return r;
    }

    // A record as take() gives it, named with a copy of name's first length
    // bytes. A short name is stored in the same piece, behind the record.
    Record* takeNamed(const char* name, size_t length) {
        if (length >= kInlineNameBytes) {
            Record* r = take();
            r->name = static_cast<char*>(allocate(length + 1));
            std::memcpy(r->name, name, length);
            r->name[length] = 0;
            return r;
        }
        RecordSlab* slab;
        Record* r = static_cast<Record*>(carveSmall(sizeof(Record) + length + 1, &slab));
        std::memset(static_cast<void*>(r), 0, sizeof *r);
        r->slab = slab;
        r->name = reinterpret_cast<char*>(r + 1);
        std::memcpy(r->name, name, length);
        r->name[length] = 0;
        r->flags = kNameWithRecord;
        return r;
    }

    // bytes of space aligned for pointers, for the arrays of one record;
    // *block receives the block to give back to.
    void* carve(size_t bytes, RecordSlab** block) {
        return bytes > kOwnBlock ? carveOwnBlock(bytes, block) : carveSmall(bytes, block);
    }

  private:
    // Arrays above this size get a block of their own.
    static constexpr size_t kOwnBlock = 250;

    static constexpr size_t alignUp(size_t n) {
        return (n + alignof(Record) - 1) & ~(alignof(Record) - 1);
    }

    void* carveSmall(size_t bytes, RecordSlab** block) {
        size_t need = alignUp(bytes);
        if (static_cast<size_t>(end_ - next_) < need) nextBlock();
        char* piece = next_;
        next_ += need;
        ++handedOut_;
        SECNATIVE_UNPOISON(piece, bytes);
        *block = slab_;
        return piece;
    }
    void nextBlock();
    static void* carveOwnBlock(size_t bytes, RecordSlab** block);

    RecordSlab* slab_ = nullptr;
    char* next_ = nullptr;  // the current block's free space
    char* end_ = nullptr;
    size_t blockBytes_ = 0;   // the current block's size
    unsigned handedOut_ = 0;  // pieces of the current block handed out
};

// Gives pieces back to their blocks. Releasing a whole tree gives back many
// pieces of the same block in a row; they are counted here and returned in
// one step when the block changes or the releaser goes.
class SlabReleaser {
  public:
    SlabReleaser() = default;
    SlabReleaser(const SlabReleaser&) = delete;
    SlabReleaser& operator=(const SlabReleaser&) = delete;
    ~SlabReleaser() { flush(); }

    void drop(RecordSlab* slab, void* piece, size_t bytes) {
        SECNATIVE_POISON(piece, bytes);
        if (slab != slab_) {
            flush();
            slab_ = slab;
        }
        ++count_;
    }
    void flush();

  private:
    RecordSlab* slab_ = nullptr;
    unsigned count_ = 0;
};

// Gives record r, whose counts are set, its arrays: one piece of the pool
// holds them all, filled from the given items (each child entry takes over
// the reference its pointer carries). Nothing is carved for a record
// without items.
void packArrays(RecordPool* pool, Record* r, Record* const* children,
                const XMLAttribute* attributes, const XMLClear* clears, char* const* texts,
                const int* order);

// Space for a record that the public adders make under parent, bytes long
// (at most a few hundred): a piece of the block of the parent's latest child
// or of the parent when one of them has room, else of a new block. *block
// receives the block to give the piece back to.
void* carveForChild(const Record* parent, size_t bytes, RecordSlab** block);

// Blocks allocated and not yet freed, in the whole process: whichever thread
// frees a block's last piece frees the block, and the count shows that every
// block came back.
size_t liveBlocks();

// Frees a record whatever its origin.
inline void releaseRecord(Record* record, SlabReleaser* releaser) {
    if (record->slab) {
        releaser->drop(static_cast<RecordSlab*>(record->slab), record, sizeof *record);
    } else {
        std::free(record);
    }
}

// Frees a record's arrays (not what they point to). The fields still point
// at them: the caller clears them.
void releaseArrays(Record* record, SlabReleaser* releaser);

// Moves packed arrays into blocks of their own, of exactly their counts, so
// that they can grow, shrink or be freed one by one.
void separateArrays(Record* record);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_RECORD_POOL_H
