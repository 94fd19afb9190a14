// Child lookup by a path of names joined by a separator character, creating
// the missing nodes on request.
//
// Each segment names the first child of that name (any case). Leading,
// trailing and doubled separators make empty segments, which name a child
// whose name is the empty string.
#include <cstdlib>
#include <cstring>

#include "xml/xml_model.h"
#include "xml/xml_parser.h"

XMLNode XMLNode::getChildNodeByPathNonConst(char* path, char createMissing, char separator) {
    if (!d) return XMLNode();
    if (!path || !*path) return *this;
    XMLNode current = *this;
    char* segment = path;
    for (;;) {
        // A NUL separator would only find the path's own end: the whole path
        // is then one segment.
        char* end = separator ? std::strchr(segment, separator) : NULL;
        if (end) *end = 0;
        XMLNode next = current.getChildNode(segment, static_cast<int*>(NULL));
        if (next.isEmpty() && createMissing) next = current.addChild(segment, 0, -1);
        if (end) *end = separator;
        if (!end || next.isEmpty()) return next;
        current = next;
        segment = end + 1;
    }
}

XMLNode XMLNode::getChildNodeByPath(const char* path, char createMissing, char separator) {
    if (!d) return XMLNode();
    if (!path || !*path) return *this;
    char* copy = secnative::xml::copyString(path);
    XMLNode found = getChildNodeByPathNonConst(copy, createMissing, separator);
    std::free(copy);
    return found;
}
