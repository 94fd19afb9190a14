// Copying a subtree into new records that share no owned string with it.
//
// A copy is made the way the parser makes a tree: its records, each with its
// name stored behind it, come from the blocks of one record pool, and each
// record's arrays are one piece of those blocks, holding exactly its counts.
// Texts, attribute names and values and clear values are malloc blocks of
// their own, as in any tree; clear-item delimiters are shared, as the tree
// never owns them. The copy is built with a work list instead of recursion,
// so a tree of any depth can be copied on a small stack.
#include <cstring>
#include <vector>

#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"

using secnative::xml::copyString;
using secnative::xml::Record;
using secnative::xml::RecordPool;

namespace {

struct Pending {
    const Record* source;
    Record* copy;
};

// A new child record. (A vector of plain Record pointers would make the
// shared library export that vector's code, Record being a type of the
// exported class.)
struct NewChild {
    Record* record;
};
static_assert(sizeof(NewChild) == sizeof(Record*), "a NewChild array is a Record* array");

Record* copyRecord(RecordPool* pool, const Record* source, Record* parent) {
    Record* copy =
        source->name ? pool->takeNamed(source->name, std::strlen(source->name)) : pool->take();
    copy->isDeclaration = source->isDeclaration;
    copy->parent = parent;
    copy->refCount = 1;  // held by the parent's entry, or by the returned handle
    return copy;
}

// Gives copy the items of source: new child records (queued for their own
// items), then every array packed in one piece, then copies of the strings
// in place of the source's.
void copyItems(RecordPool* pool, const Pending& next, std::vector<NewChild>* children,
               std::vector<Pending>* work) {
    const Record* s = next.source;
    Record* c = next.copy;
    children->clear();
    for (int i = 0; i < s->childCount; ++i) {
        // Source records are scattered over the heap: fetch a few ahead.
        if (i + 4 < s->childCount) __builtin_prefetch(XMLNodeAccess::record(s->children[i + 4]));
        const Record* child = XMLNodeAccess::record(s->children[i]);
        children->push_back({copyRecord(pool, child, c)});
        work->push_back({child, children->back().record});
    }
    c->childCount = s->childCount;
    c->textCount = s->textCount;
    c->clearCount = s->clearCount;
    c->attributeCount = s->attributeCount;
    secnative::xml::packArrays(pool, c, reinterpret_cast<Record* const*>(children->data()),
                               s->attributes, s->clears, s->texts, s->order);
    for (int i = 0; i < c->attributeCount; ++i) {
        c->attributes[i].name = copyString(c->attributes[i].name);
        c->attributes[i].value = copyString(c->attributes[i].value);
    }
    for (int i = 0; i < c->textCount; ++i) c->texts[i] = copyString(c->texts[i]);
    for (int i = 0; i < c->clearCount; ++i) c->clears[i].value = copyString(c->clears[i].value);
}

}  // namespace

XMLNode XMLNode::deepCopy() const {
    if (!d) return XMLNode();
    RecordPool pool;
    Record* top = copyRecord(&pool, d, NULL);
    std::vector<NewChild> children;
    std::vector<Pending> work = {{d, top}};
    while (!work.empty()) {
        Pending next = work.back();
        work.pop_back();
        copyItems(&pool, next, &children, &work);
    }
    return XMLNodeAccess::adopt(top);
}
