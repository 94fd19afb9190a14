// Deleting attributes, texts and clear items.
//
// The parser packs a record's arrays into one shared block; they are moved
// into blocks of their own before anything is taken out, so that an item
// can be removed, its array shifted, and an emptied array freed.
#include <cstdlib>
#include <cstring>

#include "xml/xml_item_index.h"
#include "xml/xml_node_access.h"
#include "xml/xml_order.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"

using secnative::xml::freeEmptyArray;
using secnative::xml::Record;
using secnative::xml::separateArrays;

namespace {

// Takes item index out of array, whose item count is *count: later items
// move down, an emptied array is freed, and a child, text or clear item also
// loses its order entry. The item's strings are the caller's to free.
template <typename T>
void takeOut(Record* d, T* array, int* count, int index, XMLElementType type) {
    --*count;
    std::memmove(static_cast<void*>(array + index), static_cast<const void*>(array + index + 1),
                 sizeof(T) * static_cast<size_t>(*count - index));
    freeEmptyArray(d, type);
    if (type != elementAttribute) XMLNodeAccess::removeOrderElement(d, type, index);
}

}  // namespace

void XMLNode::deleteAttribute(int index) {
    if (!d || index < 0 || index >= d->attributeCount) return;
    separateArrays(d);
    std::free(d->attributes[index].name);
    std::free(d->attributes[index].value);
    takeOut(d, d->attributes, &d->attributeCount, index, elementAttribute);
}

void XMLNode::deleteAttribute(const char* name) {
    if (!d) return;
    int index = secnative::xml::attributeIndex(d, name);
    if (index >= 0) deleteAttribute(index);
}

void XMLNode::deleteAttribute(XMLAttribute* attribute) {
    if (attribute) deleteAttribute(static_cast<const char*>(attribute->name));
}

void XMLNode::deleteText(int index) {
    if (!d || index < 0 || index >= d->textCount) return;
    separateArrays(d);
    std::free(d->texts[index]);
    takeOut(d, d->texts, &d->textCount, index, elementText);
}

void XMLNode::deleteText(const char* text) {
    int index = indexText(text);
    if (index >= 0) deleteText(index);
}

void XMLNode::deleteClear(int index) {
    if (!d || index < 0 || index >= d->clearCount) return;
    separateArrays(d);
    std::free(d->clears[index].value);
    takeOut(d, d->clears, &d->clearCount, index, elementClear);
}

void XMLNode::deleteClear(const char* value) {
    int index = indexClear(value);
    if (index >= 0) deleteClear(index);
}

// A clear record is matched by its exact value pointer: an item whose value
// is NULL is found as itself, never taken for item 0.
void XMLNode::deleteClear(XMLClear* clear) {
    if (!d || !clear) return;
    int index = secnative::xml::clearWithValue(d, clear->value);
    if (index >= 0) deleteClear(index);
}
