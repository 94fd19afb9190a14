// Updating attributes, texts, clear items and names in place.
//
// Each plain form copies its strings and hands the copies to the _WOSD form,
// which stores them or frees them before it returns. A stored string is
// replaced by freeing it, unless the caller hands back the very pointer that
// is stored. Updates that find nothing to update append instead.
#include <strings.h>

#include <cstdlib>

#include "xml/xml_item_index.h"
#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

using secnative::xml::copyString;
using secnative::xml::Record;

namespace {

// Stores text in *slot, freeing what was there unless it is the same block.
void replace(char** slot, char* text) {
    if (*slot == text) return;
    std::free(*slot);
    *slot = text;
}

}  // namespace

// ---- Attributes -------------------------------------------------------------

XMLAttribute* XMLNode::updateAttribute_WOSD(char* newValue, char* newName, int index) {
    if (!d) {
        std::free(newValue);
        std::free(newName);
        return NULL;
    }
    if (index < 0 || index >= d->attributeCount) {
        if (newName) return addAttribute_WOSD(newName, newValue);
        std::free(newValue);
        return NULL;
    }
    XMLAttribute* stored = d->attributes + index;
    replace(&stored->value, newValue);
    if (newName) replace(&stored->name, newName);
    return stored;
}

XMLAttribute* XMLNode::updateAttribute(const char* newValue, const char* newName, int index) {
    if (!d) return NULL;
    return updateAttribute_WOSD(copyString(newValue), copyString(newName), index);
}

XMLAttribute* XMLNode::updateAttribute_WOSD(char* newValue, char* newName, const char* oldName) {
    if (!d) {
        std::free(newValue);
        std::free(newName);
        return NULL;
    }
    int index = secnative::xml::attributeIndex(d, oldName);
    if (index >= 0) return updateAttribute_WOSD(newValue, newName, index);
    return addAttribute_WOSD(newName ? newName : copyString(oldName), newValue);
}

XMLAttribute* XMLNode::updateAttribute(const char* newValue, const char* newName,
                                       const char* oldName) {
    if (!d) return NULL;
    return updateAttribute_WOSD(copyString(newValue), copyString(newName), oldName);
}

XMLAttribute* XMLNode::updateAttribute_WOSD(XMLAttribute* newAttribute,
                                            XMLAttribute* oldAttribute) {
    if (!newAttribute) return NULL;
    if (!oldAttribute) return addAttribute_WOSD(newAttribute->name, newAttribute->value);
    return updateAttribute_WOSD(newAttribute->value, newAttribute->name, oldAttribute->name);
}

XMLAttribute* XMLNode::updateAttribute(XMLAttribute* newAttribute, XMLAttribute* oldAttribute) {
    if (!newAttribute) return NULL;
    if (!oldAttribute) return addAttribute(newAttribute->name, newAttribute->value);
    return updateAttribute(newAttribute->value, newAttribute->name, oldAttribute->name);
}

// ---- Texts ------------------------------------------------------------------

const char* XMLNode::updateText_WOSD(char* newText, int index) {
    if (!d) {
        std::free(newText);
        return NULL;
    }
    if (!newText) return NULL;
    if (index < 0 || index >= d->textCount) return addText_WOSD(newText, -1);
    replace(d->texts + index, newText);
    return newText;
}

const char* XMLNode::updateText(const char* newText, int index) {
    if (!d || !newText) return NULL;
    return updateText_WOSD(copyString(newText), index);
}

const char* XMLNode::updateText_WOSD(char* newText, const char* oldText) {
    if (!d) {
        std::free(newText);
        return NULL;
    }
    int index = indexText(oldText);
    if (index < 0) return addText_WOSD(newText, -1);
    return updateText_WOSD(newText, index);
}

const char* XMLNode::updateText(const char* newText, const char* oldText) {
    if (!d || !newText) return NULL;
    return updateText_WOSD(copyString(newText), oldText);
}

// ---- Clear items ------------------------------------------------------------

XMLClear* XMLNode::updateClear_WOSD(char* newValue, int index) {
    if (!d) {
        std::free(newValue);
        return NULL;
    }
    if (index < 0 || index >= d->clearCount) return addClear_WOSD(newValue, NULL, NULL, -1);
    XMLClear* stored = d->clears + index;
    replace(&stored->value, newValue);
    return stored;
}

XMLClear* XMLNode::updateClear(const char* newValue, int index) {
    if (!d) return NULL;
    return updateClear_WOSD(copyString(newValue), index);
}

XMLClear* XMLNode::updateClear_WOSD(char* newValue, const char* oldValue) {
    if (!d) {
        std::free(newValue);
        return NULL;
    }
    int index = indexClear(oldValue);
    if (index < 0) return addClear_WOSD(newValue, NULL, NULL, -1);
    return updateClear_WOSD(newValue, index);
}

XMLClear* XMLNode::updateClear(const char* newValue, const char* oldValue) {
    if (!d) return NULL;
    return updateClear_WOSD(copyString(newValue), oldValue);
}

// A clear record handed back is matched by its exact value pointer, so that
// an item whose value is NULL is found as itself and not as item 0.
XMLClear* XMLNode::updateClear_WOSD(XMLClear* newClear, XMLClear* oldClear) {
    if (!newClear) return NULL;
    if (!d || !oldClear) {
        std::free(newClear->value);
        return NULL;
    }
    int index = secnative::xml::clearWithValue(d, oldClear->value);
    if (index < 0) return addClear_WOSD(newClear->value, NULL, NULL, -1);
    return updateClear_WOSD(newClear->value, index);
}

XMLClear* XMLNode::updateClear(XMLClear* newClear, XMLClear* oldClear) {
    if (!d || !newClear || !oldClear) return NULL;
    XMLClear copy = {copyString(newClear->value), NULL, NULL};
    return updateClear_WOSD(&copy, oldClear);
}

// ---- Names ------------------------------------------------------------------

const char* XMLNode::updateName_WOSD(char* name) {
    if (!d) {
        std::free(name);
        return NULL;
    }
    if (d->name != name) {
        secnative::xml::releaseName(d);
        d->name = name;
    }
    return name;
}

const char* XMLNode::updateName(const char* name) {
    if (!d) return NULL;
    return updateName_WOSD(copyString(name));
}
