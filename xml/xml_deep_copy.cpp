// Copying a subtree into new records that share no owned string with it.
//
// The copy is built with a work list of (source, copy) pairs instead of
// recursion, so a tree of any depth can be copied on a small stack. Every
// array of a copied record holds exactly its count; clear-item delimiters
// are shared, as the tree never owns them.
#include <cstring>
#include <vector>

#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

using secnative::xml::allocate;
using secnative::xml::copyString;
using secnative::xml::Record;

namespace {

// An array of exactly count elements; NULL when there are none.
template <typename T>
T* newArray(int count) {
    size_t bytes = sizeof(T) * static_cast<size_t>(count);
    return bytes ? static_cast<T*>(allocate(bytes)) : NULL;
}

struct Pending {
    const Record* source;
    Record* copy;
};

// Copies the attributes, texts, clear items and order list of source into
// copy, whose arrays are still empty.
void copyItems(const Record* source, Record* copy) {
    if (int n = source->attributeCount) {
        copy->attributes = newArray<XMLAttribute>(n);
        for (int i = 0; i < n; ++i) {
            copy->attributes[i].name = copyString(source->attributes[i].name);
            copy->attributes[i].value = copyString(source->attributes[i].value);
        }
        copy->attributeCount = n;
    }
    if (int n = source->textCount) {
        copy->texts = newArray<char*>(n);
        for (int i = 0; i < n; ++i) copy->texts[i] = copyString(source->texts[i]);
        copy->textCount = n;
    }
    if (int n = source->clearCount) {
        copy->clears = newArray<XMLClear>(n);
        for (int i = 0; i < n; ++i) {
            copy->clears[i].value = copyString(source->clears[i].value);
            copy->clears[i].openTag = source->clears[i].openTag;
            copy->clears[i].closeTag = source->clears[i].closeTag;
        }
        copy->clearCount = n;
    }
    if (int n = source->childCount + source->textCount + source->clearCount) {
        copy->order = newArray<int>(n);
        std::memcpy(copy->order, source->order, sizeof(int) * static_cast<size_t>(n));
    }
}

// Gives copy one new child record per child of source, each named and
// flagged like its source, and queues the pairs for their own items.
void copyChildren(const Record* source, Record* copy, std::vector<Pending>* work) {
    int n = source->childCount;
    if (n <= 0) return;
    copy->children = newArray<XMLNode>(n);
    for (int i = 0; i < n; ++i) {
        const Record* from = XMLNodeAccess::record(source->children[i]);
        XMLNode* slot = copy->children + i;
        XMLNodeAccess::placeHandle(slot, NULL);
        // The new record's only reference ends up in the slot.
        *slot = XMLNodeAccess::newRecord(copy, copyString(from->name), from->isDeclaration);
        copy->childCount = i + 1;
        work->push_back({from, XMLNodeAccess::record(*slot)});
    }
}

}  // namespace

XMLNode XMLNode::deepCopy() const {
    if (!d) return XMLNode();
    XMLNode top = XMLNodeAccess::newRecord(NULL, copyString(d->name), d->isDeclaration);
    std::vector<Pending> work;
    work.push_back({d, top.d});
    while (!work.empty()) {
        Pending next = work.back();
        work.pop_back();
        copyItems(next.source, next.copy);
        copyChildren(next.source, next.copy, &work);
    }
    return top;
}
