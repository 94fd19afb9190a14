// libFuzzer target for the XML parser.
//
// The first byte chooses the process-wide options (encoding, whitespace and
// comment handling), the second whether a start tag is asked for; the rest
// is the document. Whatever the bytes, parsing must stay inside the text
// (the sanitizers watch that), the tree must keep its invariants, and
// editing and releasing it piece by piece must free exactly what it holds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/xml_test_util.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

namespace {

void check(bool ok, const char* what, const std::string& detail = "") {
    if (ok) return;
    std::fprintf(stderr, "xml_parse_fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

void setOptions(uint8_t bits) {
    static const XMLNode::XMLCharEncoding kEncodings[] = {
        XMLNode::encodingUTF8,   XMLNode::encodingLegacy, XMLNode::encodingShiftJIS,
        XMLNode::encodingGB2312, XMLNode::encodingBig5,   XMLNode::encodingGBK,
        XMLNode::encodingUTF8,   XMLNode::encodingUTF8};
    XMLNode::setGlobalOptions(kEncodings[bits & 7], static_cast<char>((bits >> 3) & 1),
                              static_cast<char>((bits >> 4) & 1),
                              static_cast<char>((bits >> 5) & 1));
}

// Changes a parsed tree the ways an application would: a copy, the first
// items deleted, new items at both ends of the top element, a child emptied
// while a handle still holds it.
void edit(XMLNode& node) {
    using Access = XMLNodeAccess;
    XMLNode copy = node.deepCopy();
    check(xmltest::dump(copy) == xmltest::dump(node), "copy differs from its source");
    node.deleteText(0);
    node.deleteClear(0);
    node.deleteAttribute(0);
    check(xmltest::checkTree(node).empty(), "tree broken after deletes");
    XMLNodeAccess::Record* r = Access::record(node);
    XMLNode held;
    if (r->childCount) held = Access::handle(Access::record(r->children[0]));
    Access::addChild(node, 0, stringDup("added"), 0, 0);
    Access::addText(node, 0, stringDup("text"), -1);
    Access::addAttribute(node, 0, stringDup("name"), stringDup("value"));
    check(xmltest::checkTree(node).empty(), "edited tree broken:", xmltest::checkTree(node));
    if (!held.isEmpty()) {
        held.deleteNodeContent();
        check(xmltest::checkTree(node).empty(), "tree broken after delete");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    setOptions(data[0]);
    const bool withTag = data[1] & 1;
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    XMLResults results;
    XMLNode root = XMLNode::parseString(text.c_str(), withTag ? "a" : NULL, &results);
    const bool failed = results.error >= errorNoXMLData;
    check(failed == root.isEmpty(), "tree and outcome disagree");
    check(results.error <= errorBase64OutputTooSmall, "outcome out of range");
    if (!root.isEmpty()) {
        check(xmltest::checkTree(root).empty(), "parsed tree broken:", xmltest::checkTree(root));
        // A handle inside the tree outlives it; the tree is edited and freed.
        XMLNodeAccess::Record* r = XMLNodeAccess::record(root);
        XMLNode last =
            r->childCount
                ? XMLNodeAccess::handle(XMLNodeAccess::record(r->children[r->childCount - 1]))
                : XMLNode();
        edit(root);
        root = XMLNode();
        if (!last.isEmpty()) check(xmltest::checkTree(last).empty(), "kept node broken");
    }
    XMLNode::setGlobalOptions();
    return 0;
}
