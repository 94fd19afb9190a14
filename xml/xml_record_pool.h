// Node records and item arrays made by the parser come from blocks shared by
// many of them instead of one malloc call each: a record, and the arrays of
// one record packed side by side, are each a piece carved from a block.
// Neither ever sees the difference. A record is released through
// releaseRecord, which frees a record of its own with free() and otherwise
// gives its piece back to the block; packed arrays go back the same way.
// A block is freed with its last piece. Blocks are counted atomically:
// records of one parse may end up in different trees used by different
// threads.
#ifndef SECNATIVE_XML_XML_RECORD_POOL_H
#define SECNATIVE_XML_XML_RECORD_POOL_H

#include <cstddef>

#include "xml/xml_node_access.h"

namespace secnative::xml {

struct RecordSlab;

// Hands out records and array space to one parse, one block after the other.
class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool();

    // A record with every field cleared but slab, owned by the caller.
    Record* take();

    // bytes of space aligned for pointers, for the arrays of one record;
    // *block receives the block to give back to.
    void* carve(size_t bytes, RecordSlab** block);

  private:
    void* carveFromCurrent(size_t bytes, RecordSlab** block);

    RecordSlab* slab_ = nullptr;
    size_t space_ = 0;   // bytes the current block holds
    size_t used_ = 0;    // bytes of the current block handed out
    int handedOut_ = 0;  // pieces of the current block handed out
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

    void drop(RecordSlab* slab, void* piece, size_t bytes);
    void flush();

  private:
    RecordSlab* slab_ = nullptr;
    int count_ = 0;
};

// Gives record r, whose counts are set, its arrays: one piece of the pool
// holds them all, filled from the given items (each child entry takes over
// the reference its pointer carries). Nothing is carved for a record
// without items.
void packArrays(RecordPool* pool, Record* r, Record* const* children,
                const XMLAttribute* attributes, const XMLClear* clears, char* const* texts,
                const int* order);

// Frees a record whatever its origin.
void releaseRecord(Record* record, SlabReleaser* releaser);

// Frees a record's arrays (not what they point to) and clears the pointers.
void releaseArrays(Record* record, SlabReleaser* releaser);

// Moves packed arrays into blocks of their own, of exactly their counts, so
// that they can grow, shrink or be freed one by one.
void separateArrays(Record* record);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_RECORD_POOL_H
