// Internal access to node records for the library's own files and its tests.
//
// XMLNode keeps its record and its model primitives private; the parser, the
// editing and query code and the unit tests reach them through this one
// friend. Nothing here is exported from the shared library.
#ifndef SECNATIVE_XML_XML_NODE_ACCESS_H
#define SECNATIVE_XML_XML_NODE_ACCESS_H

#include <cstddef>
#include <cstdlib>
#include <new>

#include "xml/xml_parser.h"

struct XMLNodeAccess {
    using Record = XMLNode::XMLNodeDataTag;

    static Record* record(const XMLNode& node) { return node.d; }

    // A new handle on an existing record (adds a reference).
    static XMLNode handle(Record* record) { return XMLNode(record); }

    // A new record with refCount 1 held by the returned handle; name is
    // taken over. The parent's children list is not touched.
    static XMLNode newRecord(Record* parent, char* name, char isDeclaration) {
        return XMLNode(parent, name, isDeclaration);
    }

    // A handle that takes over the reference the caller owns on record.
    static XMLNode adopt(Record* record) {
        XMLNode node;
        node.d = record;
        return node;
    }

    // Makes raw storage a handle on record without counting a reference: the
    // reference the caller already owns moves into the slot.
    static void placeHandle(XMLNode* slot, Record* record) {
        XMLNode* placed = new (slot) XMLNode();
        placed->d = record;
    }

    static XMLNode addChild(XMLNode& node, int step, char* name, char isDeclaration, int pos) {
        return node.addChild_priv(step, name, isDeclaration, pos);
    }
    static XMLAttribute* addAttribute(XMLNode& node, int step, char* name, char* value) {
        return node.addAttribute_priv(step, name, value);
    }
    static const char* addText(XMLNode& node, int step, char* text, int pos) {
        return node.addText_priv(step, text, pos);
    }
    static XMLClear* addClear(XMLNode& node, int step, char* value, const char* openTag,
                              const char* closeTag, int pos) {
        return node.addClear_priv(step, value, openTag, closeTag, pos);
    }
    static void* addToOrder(XMLNode& node, int step, int* pos, int count, void* array,
                            int elementSize, XMLElementType type) {
        return node.addToOrder(step, pos, count, array, elementSize, type);
    }
    static void removeOrderElement(Record* record, XMLElementType type, int index) {
        XMLNode::removeOrderElement(record, type, index);
    }
    static void detachFromParent(Record* record) { XMLNode::detachFromParent(record); }
    static void exactMemory(Record* record) { XMLNode::exactMemory(record); }
    static void emptyTheNode(XMLNode& node, char force) { node.emptyTheNode(force); }

    static bool parseElement(XMLNode& node, void* run) { return node.ParseXMLElement(run); }
    static char maybeAddText(XMLNode& node, void* run, const char* end) {
        return node.maybeAddTxT(run, end);
    }
    static char parseClearTag(XMLNode& node, void* run, void* clearTag) {
        return node.parseClearTag(run, clearTag);
    }
};

namespace secnative::xml {

using Record = XMLNodeAccess::Record;

// malloc and realloc that end the process with a message when memory runs
// out, so a failed allocation never turns into a write through NULL.
// allocate is inline: the parser calls it for every name, value and text.
[[noreturn]] void outOfMemory(size_t size);
inline void* allocate(size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (__builtin_expect(block == NULL, 0)) outOfMemory(size);
    return block;
}
void* reallocate(void* block, size_t size);

// A new malloc copy of a NUL-terminated string, or NULL for NULL; ends the
// process like allocate when memory runs out.
char* copyString(const char* text);

// Record::flags: the name is stored with the record.
constexpr unsigned char kNameWithRecord = 1 << 5;

// A new record with refCount 1, owned by the caller, whose name is a copy
// of name stored in the same malloc block (one allocation instead of two).
Record* newRecordNamed(Record* parent, const char* name, char isDeclaration);

// Frees record's name unless it is stored with the record, and sets name
// to NULL.
void releaseName(Record* record);

// Enters child, whose reference the caller hands over, in node's children
// and order list at pos; grows the arrays by step.
void insertChild(XMLNode& node, int step, Record* child, int pos);

// How arrays grow under the public adders (step 0): by default to the next
// power of two, so that appending n items to one node costs O(n); with
// exact growth, to exactly one more slot on every addition. Exact growth is
// there for the benchmarks that compare the two; it is process-wide and not
// synchronised.
void setExactGrowth(bool exact);

// The index of the first child at or after start (negative: 0) named name,
// ignoring ASCII case; -1 when there is none or name is NULL. A nameless
// child matches no name.
int childIndex(const Record* record, const char* name, int start = 0);

// The index of the first attribute at or after start (negative: 0) named
// name, ignoring ASCII case; -1 when there is none or name is NULL.
int attributeIndex(const Record* record, const char* name, int start = 0);

// The index of the clear item whose value is exactly value (a NULL value
// included), or -1. Clear records handed back by the caller are matched so.
int clearWithValue(const Record* record, const char* value);

// Frees the record's array of one kind (elementChild, elementAttribute,
// elementText or elementClear) when no item of that kind is left. The
// arrays must be separated.
void freeEmptyArray(Record* record, XMLElementType type);

// Frees a record's contents and, iteratively, every descendant record that
// no other handle holds (with force, every descendant is emptied). The
// record itself is left for the caller.
void releaseContents(Record* record, char force);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_NODE_ACCESS_H
