// Node records made by the parser come from blocks of many records instead
// of one malloc call each. A record never sees the difference: it is
// released through releaseRecord, which frees a record of its own with
// free() and otherwise gives its slot back to the block, freeing the block
// with its last record. Blocks are counted atomically: records of one parse
// may end up in different trees used by different threads.
#ifndef SECNATIVE_XML_XML_RECORD_POOL_H
#define SECNATIVE_XML_XML_RECORD_POOL_H

#include "xml/xml_node_access.h"

namespace secnative::xml {

struct RecordSlab;

// Hands out records to one parse, one block after the other.
class RecordPool {
  public:
    RecordPool() = default;
    RecordPool(const RecordPool&) = delete;
    RecordPool& operator=(const RecordPool&) = delete;
    ~RecordPool();

    // A record with every field cleared but slab, owned by the caller.
    Record* take();

  private:
    RecordSlab* slab_ = nullptr;
    int used_ = 0;
};

// Frees a record whatever its origin.
void releaseRecord(Record* record);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_RECORD_POOL_H
