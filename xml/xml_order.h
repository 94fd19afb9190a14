// The order list's helpers that xml_order.cpp gives the adders and the
// deleters: entering a child, the growth rule, freeing an emptied array.
#ifndef SECNATIVE_XML_XML_ORDER_H
#define SECNATIVE_XML_XML_ORDER_H

#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

// Enters child, whose reference the caller hands over, in node's children
// and order list at pos; grows the arrays by step.
void insertChild(XMLNode& node, int step, Record* child, int pos);

// How arrays grow under the public adders (step 0): by default to the next
// power of two, so that appending n items to one node costs O(n); with
// exact growth, to exactly one more slot on every addition. Exact growth is
// there for the benchmarks that compare the two; it is process-wide and not
// synchronised.
void setExactGrowth(bool exact);

// Frees the record's array of one kind (elementChild, elementAttribute,
// elementText or elementClear) when no item of that kind is left. The
// arrays must be separated.
void freeEmptyArray(Record* record, XMLElementType type);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_ORDER_H
