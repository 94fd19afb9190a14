// Read-only queries on a node: counters, items fetched by index, and children
// and attributes searched by name.
//
// Names compare without regard to ASCII case. A search that starts from an
// iterator reads the index to start at and, when it finds something, moves
// the iterator just past it; a miss leaves the iterator alone.
#include <strings.h>

#include "xml/xml_item_index.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

using secnative::xml::attributeIndex;
using secnative::xml::childIndex;
using secnative::xml::Record;

namespace {

bool sameName(const char* stored, const char* wanted) {
    return stored && strcasecmp(stored, wanted) == 0;
}

const char* childName(const Record* r, int i) {
    return XMLNodeAccess::record(r->children[i])->name;
}

// Whether record r has an attribute called name whose value equals value
// (any case), or, for a NULL value, any attribute called name. Attributes
// without a value never match a value and do not stop the search.
bool hasAttribute(const Record* r, const char* name, const char* value) {
    for (int i = attributeIndex(r, name, 0); i >= 0; i = attributeIndex(r, name, i + 1)) {
        if (!value) return true;
        const char* stored = r->attributes[i].value;
        if (stored && strcasecmp(stored, value) == 0) return true;
    }
    return false;
}

bool inRange(int index, int count) {
    return index >= 0 && index < count;
}

}  // namespace

const char* XMLNode::getName() const {
    return d ? d->name : NULL;
}

int XMLNode::nChildNode() const {
    return d ? d->childCount : 0;
}

int XMLNode::nText() const {
    return d ? d->textCount : 0;
}

int XMLNode::nClear() const {
    return d ? d->clearCount : 0;
}

int XMLNode::nAttribute() const {
    return d ? d->attributeCount : 0;
}

int XMLNode::nElement() const {
    return d ? d->attributeCount + d->childCount + d->textCount + d->clearCount : 0;
}

int XMLNode::nChildNode(const char* name) const {
    if (!d || !name) return 0;
    int count = 0;
    for (int i = 0; i < d->childCount; ++i) {
        if (sameName(childName(d, i), name)) ++count;
    }
    return count;
}

char XMLNode::isDeclaration() const {
    if (!d) return 0;
    return d->isDeclaration;
}

XMLNode XMLNode::getParentNode() const {
    if (!d || !d->parent) return XMLNode();
    return XMLNode(d->parent);
}

XMLNode XMLNode::getChildNode(int index) const {
    if (!d || !inRange(index, d->childCount)) return XMLNode();
    return d->children[index];
}

const char* XMLNode::getText(int index) const {
    if (!d || !inRange(index, d->textCount)) return NULL;
    return d->texts[index];
}

XMLClear XMLNode::getClear(int index) const {
    if (!d || !inRange(index, d->clearCount)) return emptyXMLClear;
    return d->clears[index];
}

XMLAttribute XMLNode::getAttribute(int index) const {
    if (!d || !inRange(index, d->attributeCount)) return emptyXMLAttribute;
    return d->attributes[index];
}

const char* XMLNode::getAttributeName(int index) const {
    if (!d || !inRange(index, d->attributeCount)) return NULL;
    return d->attributes[index].name;
}

const char* XMLNode::getAttributeValue(int index) const {
    if (!d || !inRange(index, d->attributeCount)) return NULL;
    return d->attributes[index].value;
}

XMLNode XMLNode::getChildNode(const char* name, int* iterator) const {
    if (!d || !name) return XMLNode();
    int i = childIndex(d, name, iterator ? *iterator : 0);
    if (i < 0) return XMLNode();
    if (iterator) *iterator = i + 1;
    return d->children[i];
}

XMLNode XMLNode::getChildNode(const char* name, int index) const {
    if (!d || !name) return XMLNode();
    if (index < 0) {
        for (int i = d->childCount - 1; i >= 0; --i) {
            if (sameName(childName(d, i), name)) return d->children[i];
        }
        return XMLNode();
    }
    int i = childIndex(d, name, 0);
    for (; i >= 0 && index > 0; --index) i = childIndex(d, name, i + 1);
    if (i < 0) return XMLNode();
    return d->children[i];
}

XMLNode XMLNode::getChildNodeWithAttribute(const char* name, const char* attributeName,
                                           const char* attributeValue, int* iterator) const {
    if (!d || !name || !attributeName) return XMLNode();
    for (int i = childIndex(d, name, iterator ? *iterator : 0); i >= 0;
         i = childIndex(d, name, i + 1)) {
        if (hasAttribute(XMLNodeAccess::record(d->children[i]), attributeName, attributeValue)) {
            if (iterator) *iterator = i + 1;
            return d->children[i];
        }
    }
    return XMLNode();
}

const char* XMLNode::getAttribute(const char* name, int* iterator) const {
    if (!d || !name) return NULL;
    int i = attributeIndex(d, name, iterator ? *iterator : 0);
    if (i < 0) return NULL;
    if (iterator) *iterator = i + 1;
    return d->attributes[i].value;
}

const char* XMLNode::getAttribute(const char* name, int index) const {
    if (!d || !name) return NULL;
    int i = attributeIndex(d, name, 0);
    for (; i >= 0 && index > 0; --index) i = attributeIndex(d, name, i + 1);
    return i < 0 ? NULL : d->attributes[i].value;
}

char XMLNode::isAttributeSet(const char* name) const {
    if (!d || !name) return 0;
    return static_cast<char>(attributeIndex(d, name, 0) >= 0);
}
