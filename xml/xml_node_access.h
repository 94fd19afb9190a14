// Internal access to node records for the library's own files and its tests.
//
// XMLNode keeps its record and its model primitives private; the parser, the
// editing and query code and the unit tests reach them through this one
// friend. Nothing here is exported from the shared library.
#ifndef SECNATIVE_XML_XML_NODE_ACCESS_H
#define SECNATIVE_XML_XML_NODE_ACCESS_H

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
};

namespace secnative::xml {

using Record = XMLNodeAccess::Record;

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_NODE_ACCESS_H
