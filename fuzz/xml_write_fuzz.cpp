// libFuzzer target for the writer: what it writes must read back to a tree
// that it writes the same way again.
//
// The first byte chooses the options: bits 0-2 the encoding (one of the six
// the library accepts; 6 and 7 give UTF-8), bit 3 the wide-character guess,
// bit 4 whitespace dropping, bit 5 the removal of comments inside texts, bit
// 6 the writer's format. The rest is the document. A document that parses
// (warnings allowed) is written, the text parsed again under the same
// options and written again; the two texts must be equal. The first text is
// not compared with the input: parsing normalises (quotes, entities,
// whitespace, comments joined away). Two losses on the way are allowed, each
// explained where it is handled: a tree with a name the parser would not
// read back from a start tag is skipped (namesReadBack), and texts are first
// brought to the form they take once written and read back (settled). Every
// string of the first tree is also escaped on its own, which must agree with
// the escaped length and with what the writer puts between the tags.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/xml_test_util.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"

namespace {

void check(bool ok, const char* what, const std::string& detail = "") {
    if (ok) return;
    std::fprintf(stderr, "xml_write_fuzz: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// createXMLString as a string; the size it reports must be the length.
std::string written(const XMLNode& node, int format) {
    int size = -1;
    char* text = node.createXMLString(format, &size);
    check(text != NULL, "no text for a tree");
    check(size >= 0 && std::strlen(text) == static_cast<size_t>(size), "size is not the length",
          text);
    std::string out(text, static_cast<size_t>(size));
    freeXMLString(text);
    return out;
}

XMLNode parsed(const std::string& text) {
    XMLResults results;
    XMLNode node = XMLNode::parseString(text.c_str(), NULL, &results);
    return results.error >= errorNoXMLData ? XMLNode() : node;
}

// Whether the parser reads the names of node and of its attributes back
// from the writer's start tag. It takes anything up to whitespace, "=",
// "/>" or ">" for a name ("< /b>" opens an element named "/b", "<a 'x>"
// has an attribute "'x"), and the writer writes names unchanged: such a
// name gives a start tag that reads differently, so it has no fixed point.
bool namesReadBack(const XMLNode& node) {
    const char* name = node.getName();
    if (!name) return true;
    const bool declaration = node.isDeclaration();
    std::string tag = declaration ? "<?" : "<";
    tag += name;
    for (int i = 0; i < node.nAttribute(); ++i) tag += std::string(" ") + node.getAttributeName(i);
    tag += declaration ? "?>" : "/>";
    const XMLNode alone = parsed(tag).getChildNode(0);
    if (alone.nAttribute() != node.nAttribute() || !alone.getName() ||
        std::strcmp(alone.getName(), name) != 0)
        return false;
    for (int i = 0; i < node.nAttribute(); ++i)
        if (std::strcmp(alone.getAttributeName(i), node.getAttributeName(i)) != 0) return false;
    return true;
}

// What a text becomes when it is written and read back, until that changes
// nothing. The writer leaves out a character cut short by the end (the
// parser can decode one from a character reference, "&#129;" under GBK).
// While whitespace is dropped, the parser takes it off both ends byte by
// byte, but a character reference can put it there ("&#xA;a") and the
// writer writes it unchanged; and in the double-byte encodings the byte
// taken off the end may be the second byte of a character ("\xA0 " in
// Big5), whose lead byte, cut short now, the writer leaves out, which may
// bring whitespace to the end again. An empty result is a text no longer
// stored.
std::string settled(std::string text, bool dropSpace) {
    static const char kSpace[] = " \t\r\n";
    for (;;) {
        const size_t first = dropSpace ? text.find_first_not_of(kSpace) : 0;
        if (first == std::string::npos) return "";
        if (dropSpace) text = text.substr(first, text.find_last_not_of(kSpace) + 1 - first);
        // The start of the last character, and where it would end.
        size_t last = 0;
        size_t at = 0;
        while (at < text.size()) {
            last = at;
            at += static_cast<unsigned char>(
                secnative::xml::XML_ByteTable[static_cast<unsigned char>(text[at])]);
        }
        if (at == text.size()) return text;
        text.resize(last);
    }
}

// Brings every text below node to its settled form, deleting the ones left
// empty.
void settleTexts(const XMLNode& node, bool dropSpace) {
    std::vector<XMLNode> open{node};
    while (!open.empty()) {
        XMLNode n = open.back();
        open.pop_back();
        for (int i = 0; i < n.nText(); ++i) {
            const std::string text = settled(n.getText(i), dropSpace);
            if (text.empty()) {
                n.deleteText(i--);
            } else if (text != n.getText(i)) {
                n.updateText(text.c_str(), i);
            }
        }
        for (int i = 0; i < n.nChildNode(); ++i) open.push_back(n.getChildNode(i));
    }
}

// The escaped form of source from the tool, checked against the escaped
// length and the unchecked form.
std::string escaped(ToXMLStringTool* tool, const char* source) {
    const int length = ToXMLStringTool::lengthXMLString(source);
    const char* text = tool->toXML(source);
    check(text != NULL && length >= 0, "no escaped form");
    check(std::strlen(text) == static_cast<size_t>(length), "escaped length disagrees", source);
    std::vector<char> unsafe(static_cast<size_t>(length) + 1);
    ToXMLStringTool::toXMLUnSafe(unsafe.data(), source);
    check(std::strcmp(unsafe.data(), text) == 0, "unchecked escaping disagrees", source);
    return text;
}

// Escapes every text and attribute value below node, and checks that the
// writer gives the same bytes for it in an element of its own. Returns
// whether every name below node reads back.
bool checkStrings(const XMLNode& node, ToXMLStringTool* tool) {
    bool namesRead = true;
    std::vector<XMLNode> open{node};
    while (!open.empty()) {
        const XMLNode n = open.back();
        open.pop_back();
        namesRead = namesRead && namesReadBack(n);
        for (int i = 0; i < n.nAttribute(); ++i) {
            const char* value = n.getAttributeValue(i);
            if (!value) continue;
            const std::string e = escaped(tool, value);
            XMLNode alone = XMLNode::createXMLTopNode("a");
            alone.addAttribute("v", value);
            check(written(alone, 0) == "<a v=\"" + e + "\"/>", "writer escapes a value otherwise",
                  value);
        }
        for (int i = 0; i < n.nText(); ++i) {
            const std::string e = escaped(tool, n.getText(i));
            XMLNode alone = XMLNode::createXMLTopNode("a");
            alone.addText(n.getText(i));
            check(written(alone, 0) == "<a>" + e + "</a>", "writer escapes a text otherwise",
                  n.getText(i));
        }
        for (int i = 0; i < n.nChildNode(); ++i) open.push_back(n.getChildNode(i));
    }
    return namesRead;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const XMLNode::XMLCharEncoding kEncodings[] = {
        XMLNode::encodingUTF8,   XMLNode::encodingLegacy, XMLNode::encodingShiftJIS,
        XMLNode::encodingGB2312, XMLNode::encodingBig5,   XMLNode::encodingGBK,
        XMLNode::encodingUTF8,   XMLNode::encodingUTF8};
    const uint8_t bits = data[0];
    xmltest::OptionsGuard restore;
    XMLNode::setGlobalOptions(kEncodings[bits & 7], static_cast<char>((bits >> 3) & 1),
                              static_cast<char>((bits >> 4) & 1),
                              static_cast<char>((bits >> 5) & 1));
    const int format = (bits >> 6) & 1;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

    XMLNode first = parsed(input);
    if (first.isEmpty()) return 0;
    ToXMLStringTool tool;
    if (!checkStrings(first, &tool)) return 0;
    settleTexts(first, (bits & 0x10) != 0);
    const std::string once = written(first, format);
    XMLNode second = parsed(once);
    check(!second.isEmpty(), "written text does not parse", xmltest::dump(first) + "\n" + once);
    const std::string twice = written(second, format);
    check(twice == once, "second writing differs",
          "first:  " + xmltest::dump(first) + "\nwrote:  " + once +
              "\nsecond: " + xmltest::dump(second) + "\nwrote:  " + twice);
    return 0;
}
