// Order-list positions of children, texts and clear items, and the
// enumeration of all of a node's items in document order.
//
// An item's position is where its (index << 2) | type entry stands in the
// order list; attributes have no position and are enumerated first.

#include "xml/xml_item_index.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

using secnative::xml::Record;

namespace {

// Position of the entry of item index of kind type, or -1.
int entryPosition(const Record* r, XMLElementType type, int index) {
    int entry = (index << 2) | type;
    int n = r->childCount + r->textCount + r->clearCount;
    for (int i = 0; i < n; ++i) {
        if (r->order[i] == entry) return i;
    }
    return -1;
}

// Position of item index among count items of kind type; an index at or past
// the end names the last item.
int positionOf(const Record* r, XMLElementType type, int count, int index) {
    if (!r) return -1;
    if (index >= count) index = count - 1;
    if (index < 0) return -1;
    return entryPosition(r, type, index);
}

}  // namespace

int XMLNode::positionOfChildNode(int index) const {
    return positionOf(d, elementChild, d ? d->childCount : 0, index);
}

int XMLNode::positionOfText(int index) const {
    return positionOf(d, elementText, d ? d->textCount : 0, index);
}

int XMLNode::positionOfClear(int index) const {
    return positionOf(d, elementClear, d ? d->clearCount : 0, index);
}

int XMLNode::positionOfText(const char* text) const {
    return positionOfText(indexText(text));
}

int XMLNode::positionOfClear(const char* value) const {
    return positionOfClear(indexClear(value));
}

// A clear record is matched by its value pointer, a NULL value (an item
// left without content) included.
int XMLNode::positionOfClear(XMLClear* clear) const {
    if (!clear) return positionOfClear(0);
    return d ? positionOfClear(secnative::xml::clearWithValue(d, clear->value)) : -1;
}

// The handle comes by value, as the exported interface has it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
int XMLNode::positionOfChildNode(XMLNode child) const {
    if (!d || !child.d) return -1;
    for (int i = d->childCount - 1; i >= 0; --i) {
        if (d->children[i].d == child.d) return entryPosition(d, elementChild, i);
    }
    return -1;
}

int XMLNode::positionOfChildNode(const char* name, int index) const {
    if (!name) return positionOfChildNode(index);
    if (!d || index < 0) return -1;
    // The index-th child of that name, or the last one when there are fewer.
    int found = -1;
    for (int i = secnative::xml::childIndex(d, name); i >= 0 && index-- >= 0;
         i = secnative::xml::childIndex(d, name, i + 1)) {
        found = i;
    }
    return found < 0 ? -1 : entryPosition(d, elementChild, found);
}

XMLContentItem XMLNode::enumContents(int index) const {
    XMLContentItem item = {elementNone, XMLNode(), {NULL, NULL}, NULL, {NULL, NULL, NULL}};
    if (!d || index < 0 || index >= nElement()) return item;
    if (index < d->attributeCount) {
        item.type = elementAttribute;
        item.attribute = d->attributes[index];
        return item;
    }
    int entry = d->order[index - d->attributeCount];
    int i = entry >> 2;
    item.type = static_cast<XMLElementType>(entry & 3);
    switch (item.type) {
        case elementChild:
            item.child = d->children[i];
            break;
        case elementText:
            item.text = d->texts[i];
            break;
        case elementClear:
            item.clear = d->clears[i];
            break;
        default:
            item.type = elementNone;  // not a kind the order list holds
            break;
    }
    return item;
}
