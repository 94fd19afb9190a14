// Finding items: children and attributes by name, ignoring ASCII case; texts and clear
// items handed back to the library by the address the tree stores, never by
// content, so two equal texts are still two items.
#include "xml/xml_item_index.h"

#include <strings.h>

#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

int XMLNode::indexText(const char* text) const {
    if (!d) return -1;
    if (!text) return d->textCount ? 0 : -1;
    for (int i = 0; i < d->textCount; ++i) {
        if (d->texts[i] == text) return i;
    }
    return -1;
}

int XMLNode::indexClear(const char* value) const {
    if (!d) return -1;
    if (!value) return d->clearCount ? 0 : -1;
    for (int i = 0; i < d->clearCount; ++i) {
        if (d->clears[i].value == value) return i;
    }
    return -1;
}

namespace secnative::xml {

int childIndex(const Record* r, const char* name, int start) {
    if (!name) return -1;
    for (int i = start < 0 ? 0 : start; i < r->childCount; ++i) {
        const char* stored = XMLNodeAccess::record(r->children[i])->name;
        if (stored && !strcasecmp(stored, name)) return i;
    }
    return -1;
}

int attributeIndex(const Record* r, const char* name, int start) {
    if (!name) return -1;
    for (int i = start < 0 ? 0 : start; i < r->attributeCount; ++i) {
        const char* stored = r->attributes[i].name;
        if (stored && !strcasecmp(stored, name)) return i;
    }
    return -1;
}

int clearWithValue(const Record* r, const char* value) {
    for (int i = 0; i < r->clearCount; ++i) {
        if (r->clears[i].value == value) return i;
    }
    return -1;
}

}  // namespace secnative::xml
