// Node handles and reference counting, release of whole subtrees, stringDup.
//
// A record is shared by every handle that refers to it, the parent's children
// entry included, and freed when the last one goes. Subtrees are released
// with a work list instead of recursion, so a tree of any depth can be freed
// on a small stack.
#include "xml/xml_model.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"

XMLNode XMLNode::emptyXMLNode;
XMLClear XMLNode::emptyXMLClear = {NULL, NULL, NULL};
XMLAttribute XMLNode::emptyXMLAttribute = {NULL, NULL};

namespace secnative::xml {

void outOfMemory(size_t size) {
    std::fprintf(stderr, "XML library: out of memory (%lu bytes)\n",
                 static_cast<unsigned long>(size));
    std::abort();
}

void* reallocate(void* block, size_t size) {
    void* moved = std::realloc(block, size ? size : 1);
    if (!moved) outOfMemory(size);
    return moved;
}

char* copyString(const char* text) {
    if (!text) return NULL;
    size_t bytes = std::strlen(text) + 1;
    return static_cast<char*>(std::memcpy(allocate(bytes), text, bytes));
}

namespace {

// Sets a record to hold no name, no items and the given parent.
void clearContents(Record* r, Record* parent) {
    r->name = NULL;
    r->childCount = r->textCount = r->clearCount = r->attributeCount = 0;
    r->parent = parent;
    r->children = NULL;
    r->texts = NULL;
    r->clears = NULL;
    r->attributes = NULL;
    r->order = NULL;
    r->arrays = NULL;
    r->flags = 0;
}

// Frees the strings and arrays of one record and clears its fields. Child
// records that must be released as well (no other handle holds them, or
// force is set) are pushed on the work list, which is threaded through their
// parent fields: those fields are cleared anyway, and threading them needs
// no memory of its own.
void releaseOwnItems(Record* r, char force, Record** work, SlabReleaser* releaser) {
    for (int i = 0; i < r->childCount; ++i) {
        Record* child = XMLNodeAccess::record(r->children[i]);
        child->parent = NULL;
        child->refCount--;
        if (child->refCount == 0 || force) {
            child->parent = *work;
            *work = child;
        }
    }
    for (int i = 0; i < r->textCount; ++i) std::free(r->texts[i]);
    for (int i = 0; i < r->clearCount; ++i) std::free(r->clears[i].value);
    for (int i = 0; i < r->attributeCount; ++i) {
        std::free(r->attributes[i].name);
        std::free(r->attributes[i].value);
    }
    releaseArrays(r, releaser);
    releaseName(r);
    clearContents(r, NULL);
}

// Frees a record's contents and, iteratively, every descendant record that
// no other handle holds (with force, every descendant is emptied). The
// record itself is left for the caller.
void releaseContents(Record* record, char force) {
    SlabReleaser releaser;
    Record* work = NULL;
    releaseOwnItems(record, force, &work, &releaser);
    while (work) {
        Record* r = work;
        work = r->parent;
        r->parent = NULL;
        releaseOwnItems(r, force, &work, &releaser);
        if (r->refCount == 0) releaseRecord(r, &releaser);
    }
}

}  // namespace

Record* newRecordNamed(Record* parent, const char* name, char isDeclaration) {
    // A child comes from the blocks its relatives came from; a top node is a
    // malloc block of its own. A long name is not stored with a child.
    const size_t bytes = std::strlen(name) + 1;
    const bool withName = !parent || bytes <= kInlineNameBytes;
    const size_t size = sizeof(Record) + (withName ? bytes : 0);
    RecordSlab* slab = NULL;
    Record* r = static_cast<Record*>(parent ? carveForChild(parent, size, &slab) : allocate(size));
    clearContents(r, parent);
    if (withName) {
        r->name = static_cast<char*>(std::memcpy(r + 1, name, bytes));
        r->flags = kNameWithRecord;
    } else {
        r->name = copyString(name);
    }
    r->isDeclaration = isDeclaration;
    r->refCount = 1;
    r->slab = slab;
    return r;
}

void releaseName(Record* r) {
    if (r->flags & kNameWithRecord) {
        r->flags = static_cast<unsigned char>(r->flags & ~kNameWithRecord);
    } else {
        std::free(r->name);
    }
    r->name = NULL;
}

}  // namespace secnative::xml

using secnative::xml::allocate;

char* stringDup(const char* source, int length) {
    if (!source) return NULL;
    size_t n = length < 0 ? std::strlen(source) : static_cast<size_t>(length);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (!copy) return NULL;
    std::memcpy(copy, source, n);
    copy[n] = 0;
    return copy;
}

XMLNode::XMLNode(XMLNodeDataTag* record) : d(record) {
    d->refCount++;
}

XMLNode::XMLNode(XMLNodeDataTag* parent, char* name, char isDeclaration) {
    d = static_cast<XMLNodeDataTag*>(allocate(sizeof(XMLNodeDataTag)));
    secnative::xml::clearContents(d, parent);
    d->name = name;
    d->isDeclaration = isDeclaration;
    d->refCount = 1;
    d->slab = NULL;
}

XMLNode::XMLNode(const XMLNode& other) : d(other.d) {
    if (d) d->refCount++;
}

XMLNode& XMLNode::operator=(const XMLNode& other) {
    if (this == &other) return *this;
    // Take the new reference before dropping the old one: other may live
    // inside the tree that this handle is about to release.
    XMLNodeDataTag* incoming = other.d;
    if (incoming) incoming->refCount++;
    if (d) {
        d->refCount--;
        emptyTheNode(0);
    }
    d = incoming;
    return *this;
}

XMLNode::~XMLNode() {
    if (!d) return;
    d->refCount--;
    emptyTheNode(0);
}

void XMLNode::emptyTheNode(char force) {
    XMLNodeDataTag* record = d;
    if (!record) return;
    if (record->refCount == 0 || force) {
        if (record->parent) detachFromParent(record);
        secnative::xml::releaseContents(record, force);
    }
    if (record->refCount == 0) {
        secnative::xml::SlabReleaser releaser;
        secnative::xml::releaseRecord(record, &releaser);
        d = NULL;
    }
}

void XMLNode::deleteNodeContent() {
    if (!d) return;
    if (d->parent) {
        detachFromParent(d);
        d->parent = NULL;
        d->refCount--;
    }
    // With no other handle left, the record goes at once and this handle
    // becomes empty.
    if (d->refCount == 1) d->refCount = 0;
    emptyTheNode(1);
}

XMLNode XMLNode::emptyNode() {
    return emptyXMLNode;
}
