// Top nodes, the public adders, and moving a subtree to a new parent.
//
// The adders hand their strings to the model's private adders with step 0:
// the plain forms a copy, the _WOSD forms the caller's own block. Moving a
// node never copies it: its record changes parent, the reference its old
// parent's entry held moves to the new entry, and every handle on it stays
// valid.
#include <climits>
#include <cstdlib>

#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_order.h"
#include "xml/xml_parser.h"

using secnative::xml::copyString;
using secnative::xml::Record;

XMLNode XMLNode::createXMLTopNode_WOSD(char* name, char isDeclaration) {
    return XMLNode(NULL, name, isDeclaration);
}

XMLNode XMLNode::createXMLTopNode(const char* name, char isDeclaration) {
    if (!name) return XMLNode(NULL, NULL, isDeclaration);
    return XMLNodeAccess::adopt(secnative::xml::newRecordNamed(NULL, name, isDeclaration));
}

XMLNode XMLNode::addChild_WOSD(char* name, char isDeclaration, int pos) {
    return addChild_priv(0, name, isDeclaration, pos);
}

// The plain form stores the name with the new record: one allocation for
// both.
XMLNode XMLNode::addChild(const char* name, char isDeclaration, int pos) {
    if (!d || !name) return emptyXMLNode;
    Record* child = secnative::xml::newRecordNamed(d, name, isDeclaration);
    secnative::xml::insertChild(*this, 0, child, pos);
    return XMLNode(child);
}

XMLAttribute* XMLNode::addAttribute_WOSD(char* name, char* value) {
    // The private adder leaves the value to the caller when it refuses a
    // NULL name.
    if (!name) {
        std::free(value);
        return &emptyXMLAttribute;
    }
    return addAttribute_priv(0, name, value);
}

XMLAttribute* XMLNode::addAttribute(const char* name, const char* value) {
    if (!d || !name) return &emptyXMLAttribute;
    return addAttribute_priv(0, copyString(name), copyString(value));
}

const char* XMLNode::addText_WOSD(char* text, int pos) {
    return addText_priv(0, text, pos);
}

const char* XMLNode::addText(const char* text, int pos) {
    if (!d || !text) return NULL;
    return addText_priv(0, copyString(text), pos);
}

XMLClear* XMLNode::addClear_WOSD(char* value, const char* openTag, const char* closeTag, int pos) {
    return addClear_priv(0, value, openTag, closeTag, pos);
}

XMLClear* XMLNode::addClear(const char* value, const char* openTag, const char* closeTag, int pos) {
    if (!d || !value) return &emptyXMLClear;
    return addClear_priv(0, copyString(value), openTag, closeTag, pos);
}

namespace {

// The order position of child record c of r.
int orderPositionOf(const Record* r, const Record* c) {
    int index = 0;
    while (XMLNodeAccess::record(r->children[index]) != c) ++index;
    // elementChild is 0; it is named to show how an order entry is made.
    // cppcheck-suppress badBitmaskCheck
    const int entry = (index << 2) | elementChild;
    int position = 0;
    while (r->order[position] != entry) ++position;
    return position;
}

// Makes c a child of node at pos. A child of another record is detached from
// it and keeps the reference its old entry held; a parentless one gains a
// reference for its new entry.
void attach(XMLNode& node, Record* c, int pos) {
    Record* d = XMLNodeAccess::record(node);
    if (Record* old = c->parent) {
        // Within the same parent, pos names an item as it stood before the
        // move; taking the child out first shifts the items behind it.
        const bool before = old == d && pos >= 0 && orderPositionOf(d, c) < pos;
        XMLNodeAccess::detachFromParent(c);
        if (before) --pos;
    } else {
        c->refCount++;
    }
    c->parent = d;
    secnative::xml::insertChild(node, 0, c, pos);
}

}  // namespace

// The handle comes by value, as the exported interface has it.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
XMLNode XMLNode::addChild(XMLNode child, int pos) {
    Record* c = child.d;
    if (!d || !c) return emptyXMLNode;
    // A node cannot go below itself: that would make a cycle.
    for (const Record* up = d; up; up = up->parent) {
        if (up == c) return emptyXMLNode;
    }
    if (c->name) {
        attach(*this, c, pos);
        return child;
    }
    // A nameless node is a container: its children move, in order.
    while (c->childCount) {
        attach(*this, XMLNodeAccess::record(c->children[0]), pos);
        // A position at or past the end appends; INT_MAX stays past it.
        if (pos >= 0 && pos < INT_MAX) ++pos;
    }
    return child;
}
