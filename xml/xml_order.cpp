// The order list and the private adders through which items enter a node.
//
// Each node keeps its children, texts and clear items in three typed arrays,
// each in document order, and an order list of (index << 2) | type entries
// that records how the three kinds interleave. Arrays grow by a step: 0 makes
// every addition reallocate to the exact size; a larger step (the parser's)
// reallocates only when the count reaches a multiple of the step, which is
// why a step may only be used on arrays grown with that same step. Arrays
// that the parser packed into one block are given blocks of their own
// before anything changes them.
#include "xml/xml_order.h"

#include <cstdlib>
#include <cstring>

#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"
#include "xml/xml_tokenizer.h"

using secnative::xml::allocate;
using secnative::xml::reallocate;
using secnative::xml::Record;
using secnative::xml::separateArrays;

namespace {

bool exactGrowth = false;

// The bit of Record::flags that says an array has room (see growArray).
constexpr unsigned char kRoomyOrder = 1 << 4;
unsigned char roomyBit(XMLElementType type) {
    return static_cast<unsigned char>(1 << type);
}

// The smallest power of two at or above count.
size_t roomFor(int count) {
    size_t room = 4;
    while (room < static_cast<size_t>(count)) room <<= 1;
    return room;
}

// Grows array (count elements of elementSize bytes) so that one more element
// fits. A non-zero step follows the growth rule of the parser's adders: room
// for step elements at first, step more each time the count reaches a
// multiple of step. Step 0 either grows to exactly one more element or, by
// default, doubles: the array is then kept at the power of two at or above
// its count, and the record's flag bit for it says so. Arrays without the
// bit (exact arrays, the parser's, separated ones) get room on their next
// growth.
void* growArray(Record* r, unsigned char bit, void* array, int count, int step,
                size_t elementSize) {
    if (step != 0 || exactGrowth) {
        r->flags = static_cast<unsigned char>(r->flags & ~bit);
        if (!array) return allocate(elementSize * static_cast<size_t>(step ? step : 1));
        int newCount = count + 1;
        if (step == 0 || newCount % step == 0) {
            return reallocate(array, elementSize * static_cast<size_t>(newCount + step));
        }
        return array;
    }
    int newCount = count + 1;
    if (array && (r->flags & bit) && static_cast<size_t>(newCount) <= roomFor(count)) {
        return array;
    }
    r->flags = static_cast<unsigned char>(r->flags | bit);
    size_t bytes = elementSize * roomFor(newCount);
    return array ? reallocate(array, bytes) : allocate(bytes);
}

// Shrinks a non-NULL array to exactly count elements; an array left without
// elements is freed.
template <typename T>
void trimArray(T*& array, int count) {
    if (!array) return;
    if (count == 0) {
        std::free(array);
        array = NULL;
        return;
    }
    array = static_cast<T*>(reallocate(array, sizeof(T) * static_cast<size_t>(count)));
}

}  // namespace

namespace secnative::xml {

void setExactGrowth(bool exact) {
    exactGrowth = exact;
}

void insertChild(XMLNode& node, int step, Record* child, int pos) {
    Record* d = XMLNodeAccess::record(node);
    separateArrays(d);
    d->children = static_cast<XMLNode*>(XMLNodeAccess::addToOrder(
        node, step, &pos, d->childCount, d->children, sizeof(XMLNode), elementChild));
    XMLNodeAccess::placeHandle(d->children + pos, child);
    d->childCount++;
}

void freeEmptyArray(Record* r, XMLElementType type) {
    switch (type) {
        case elementChild:
            if (r->childCount) return;
            std::free(static_cast<void*>(r->children));
            r->children = NULL;
            break;
        case elementAttribute:
            if (r->attributeCount) return;
            std::free(r->attributes);
            r->attributes = NULL;
            break;
        case elementText:
            if (r->textCount) return;
            std::free(r->texts);
            r->texts = NULL;
            break;
        case elementClear:
            if (r->clearCount) return;
            std::free(r->clears);
            r->clears = NULL;
            break;
        default:
            return;
    }
    r->flags = static_cast<unsigned char>(r->flags & ~roomyBit(type));
}

}  // namespace secnative::xml

void* XMLNode::addToOrder(int memoryIncrease, int* pos, int count, void* array, int elementSize,
                          XMLElementType type) {
    int n = d->childCount + d->textCount + d->clearCount;
    size_t size = static_cast<size_t>(elementSize);
    array = growArray(d, roomyBit(type), array, count, memoryIncrease, size);
    d->order =
        static_cast<int*>(growArray(d, kRoomyOrder, d->order, n, memoryIncrease * 3, sizeof(int)));
    int* order = d->order;

    int p = *pos;
    int found = -1;
    if (p >= 0 && p < n) {
        for (int i = p; i < n; ++i) {
            if ((order[i] & 3) == static_cast<int>(type)) {
                found = i;
                break;
            }
        }
    }
    if (found < 0) {  // append to both lists
        order[n] = (count << 2) | type;
        *pos = count;
        return array;
    }
    int k = order[found] >> 2;
    std::memmove(order + p + 1, order + p, sizeof(int) * static_cast<size_t>(n - p));
    order[p] = (k << 2) | type;
    for (int i = found + 1; i <= n; ++i) {
        if ((order[i] & 3) == static_cast<int>(type)) order[i] += 4;
    }
    char* bytes = static_cast<char*>(array);
    std::memmove(bytes + (k + 1) * size, bytes + k * size, static_cast<size_t>(count - k) * size);
    *pos = k;
    return array;
}

void XMLNode::removeOrderElement(XMLNodeDataTag* record, XMLElementType type, int index) {
    if (record->arrays) {
        // The caller has already lowered the count of type; the packed
        // arrays still hold the item's slot and its order entry.
        int* count = type == elementChild  ? &record->childCount
                     : type == elementText ? &record->textCount
                                           : &record->clearCount;
        ++*count;
        separateArrays(record);
        --*count;
    }
    int n = record->childCount + record->textCount + record->clearCount;
    int* order = record->order;
    int entry = (index << 2) | type;
    int i = 0;
    while (i <= n && order[i] != entry) ++i;
    if (i > n) return;  // not listed: nothing to remove
    std::memmove(order + i, order + i + 1, sizeof(int) * static_cast<size_t>(n - i));
    for (int j = i; j < n; ++j) {
        if ((order[j] & 3) == static_cast<int>(type)) order[j] -= 4;
    }
}

void XMLNode::detachFromParent(XMLNodeDataTag* record) {
    XMLNodeDataTag* parent = record->parent;
    separateArrays(parent);
    int i = 0;
    while (i < parent->childCount && parent->children[i].d != record) ++i;
    if (i == parent->childCount) return;  // not listed by its parent
    parent->childCount--;
    // Handles move as raw pointers: no reference count changes.
    std::memmove(static_cast<void*>(parent->children + i),
                 static_cast<const void*>(parent->children + i + 1),
                 sizeof(XMLNode) * static_cast<size_t>(parent->childCount - i));
    secnative::xml::freeEmptyArray(parent, elementChild);
    removeOrderElement(parent, elementChild, i);
}

void XMLNode::exactMemory(XMLNodeDataTag* record) {
    separateArrays(record);
    trimArray(record->order, record->childCount + record->textCount + record->clearCount);
    trimArray(record->children, record->childCount);
    trimArray(record->attributes, record->attributeCount);
    trimArray(record->texts, record->textCount);
    trimArray(record->clears, record->clearCount);
    record->flags = static_cast<unsigned char>(record->flags & secnative::xml::kNameWithRecord);
}

XMLNode XMLNode::addChild_priv(int memoryIncrease, char* name, char isDeclaration, int pos) {
    if (!name) return emptyXMLNode;
    if (!d) {
        std::free(name);
        return emptyXMLNode;
    }
    XMLNode made(d, name, isDeclaration);
    XMLNodeDataTag* child = made.d;
    made.d = NULL;  // its reference moves into the parent's entry
    secnative::xml::insertChild(*this, memoryIncrease, child, pos);
    return XMLNode(child);
}

XMLAttribute* XMLNode::addAttribute_priv(int memoryIncrease, char* name, char* value) {
    if (!name) return &emptyXMLAttribute;
    if (!d) {
        std::free(name);
        std::free(value);
        return &emptyXMLAttribute;
    }
    separateArrays(d);
    d->attributes = static_cast<XMLAttribute*>(growArray(d, roomyBit(elementAttribute),
                                                         d->attributes, d->attributeCount,
                                                         memoryIncrease, sizeof(XMLAttribute)));
    XMLAttribute* stored = d->attributes + d->attributeCount;
    stored->name = name;
    stored->value = value;
    d->attributeCount++;
    return stored;
}

const char* XMLNode::addText_priv(int memoryIncrease, char* text, int pos) {
    if (!text) return NULL;
    if (!d) {
        std::free(text);
        return NULL;
    }
    separateArrays(d);
    d->texts = static_cast<char**>(
        addToOrder(memoryIncrease, &pos, d->textCount, d->texts, sizeof(char*), elementText));
    d->texts[pos] = text;
    d->textCount++;
    return text;
}

XMLClear* XMLNode::addClear_priv(int memoryIncrease, char* value, const char* openTag,
                                 const char* closeTag, int pos) {
    if (!value) return &emptyXMLClear;
    if (!d) {
        std::free(value);
        return &emptyXMLClear;
    }
    separateArrays(d);
    d->clears = static_cast<XMLClear*>(
        addToOrder(memoryIncrease, &pos, d->clearCount, d->clears, sizeof(XMLClear), elementClear));
    XMLClear* stored = d->clears + pos;
    stored->value = value;
    stored->openTag = openTag ? openTag : secnative::xml::XMLClearTags[0].openDelimiter;
    stored->closeTag = closeTag ? closeTag : secnative::xml::XMLClearTags[0].closeDelimiter;
    d->clearCount++;
    return stored;
}
