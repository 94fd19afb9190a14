// Items found by name or by value (xml_item_index.cpp): children and
// attributes by name, ignoring ASCII case, and clear items by their value's
// address.
#ifndef SECNATIVE_XML_XML_ITEM_INDEX_H
#define SECNATIVE_XML_XML_ITEM_INDEX_H

#include "xml/xml_node_access.h"

namespace secnative::xml {

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

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_ITEM_INDEX_H
