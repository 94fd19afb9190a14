// The writer: the exact text of small trees, formatted and not; escaping
// under several encodings; round trips of the benchmark corpus; a deep
// tree; and the tool's buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "xml_test_util.h"

namespace {

std::string written(const XMLNode& node, int format) {
    int size = -1;
    char* text = node.createXMLString(format, &size);
    if (!text) return "(null)";
    std::string out(text, static_cast<size_t>(size));
    EXPECT_EQ(std::strlen(text), static_cast<size_t>(size));
    freeXMLString(text);
    return out;
}

struct Layout {
    const char* document;  // parsed with clear items kept
    const char* raw;       // format 0
    const char* indented;  // format 1
};

const Layout kLayouts[] = {
    {"<a/>", "<a/>", "<a/>\n"},
    {"<a x='1'/>", "<a x=\"1\"/>", "<a x=\"1\"/>\n"},
    {"<a x/>", "<a x/>", "<a x/>\n"},
    {"<a x=''>t</a>", "<a x=\"\">t</a>", "<a x=\"\">t</a>\n"},
    {"<a><b>t</b></a>", "<a><b>t</b></a>", "<a>\n\t<b>t</b>\n</a>\n"},
    {"<a>t<b/>u</a>", "<a>t<b/>u</a>", "<a>\n\tt\n\t<b/>\n\tu\n</a>\n"},
    {"<a><b><c/></b></a>", "<a><b><c/></b></a>", "<a>\n\t<b>\n\t\t<c/>\n\t</b>\n</a>\n"},
    {"<a><!--x--><![CDATA[<&]]></a>", "<a><!--x--><![CDATA[<&]]></a>",
     "<a>\n\t<!--x-->\n\t<![CDATA[<&]]>\n</a>\n"},
    {"<?xml version='1.0'?><a>t</a>", "<?xml version=\"1.0\"?><a>t</a>",
     "<?xml version=\"1.0\"?>\n<a>t</a>\n"},
    {"<?xml version='1.0'?><!--c--><a/>", "<?xml version=\"1.0\"?><!--c--><a/>",
     "<?xml version=\"1.0\"?>\n\t<!--c-->\n<a/>\n"},
    {"<a/><b>t</b>", "<a/><b>t</b>", "<a/>\n<b>t</b>\n"},  // a nameless top node
    {"<a k='&lt;&quot;&apos;'>&amp;&gt;</a>", "<a k=\"&lt;&quot;&apos;\">&amp;&gt;</a>",
     "<a k=\"&lt;&quot;&apos;\">&amp;&gt;</a>\n"},
};

TEST(XmlWriter, LayoutOfSmallTrees) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 1, 0);
    for (const Layout& c : kLayouts) {
        XMLNode node = XMLNode::parseString(c.document);
        EXPECT_EQ(written(node, 0), c.raw) << c.document;
        EXPECT_EQ(written(node, 1), c.indented) << c.document;
    }
}

TEST(XmlWriter, BuiltTreesAndOptions) {
    xmltest::OptionsGuard guard;
    XMLNode box = XMLNode::createXMLTopNode(NULL);
    XMLNode a = box.addChild("a");
    a.addText("t");
    a.addText("");              // an empty text writes nothing
    a.addClear("v", "", NULL);  // no opening tag: no tabs either
    box.addText("u");
    EXPECT_EQ(written(box, 1), "<a>\n\tt\nv]]>\n</a>\n\tu\n");
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 0, 1);  // whitespace kept: no format
    EXPECT_EQ(written(box, 1), "<a>tv]]></a>u");
    EXPECT_EQ(written(XMLNode(), 1), "(null)");
    int size = 7;
    EXPECT_EQ(XMLNode().createXMLString(1, &size), nullptr);
    EXPECT_EQ(size, 0);
}

struct Escape {
    XMLNode::XMLCharEncoding encoding;
    const char* text;
    const char* escaped;
};

TEST(XmlWriter, EscapingTakesCharactersWhole) {
    xmltest::OptionsGuard guard;
    const Escape cases[] = {
        {XMLNode::encodingUTF8, "a<b & \"c\"", "a&lt;b &amp; &quot;c&quot;"},
        {XMLNode::encodingUTF8, "\xC3<'", "\xC3<&apos;"},     // C3 leads a two-byte character
        {XMLNode::encodingUTF8, "x\xE6\x97", "x\xE6\x97"},    // cut short by the end
        {XMLNode::encodingShiftJIS, "\x83<>", "\x83<&gt;"},   // 83 leads two bytes
        {XMLNode::encodingLegacy, "\xC3<>", "\xC3&lt;&gt;"},  // every byte its own
    };
    ToXMLStringTool tool;
    for (const Escape& c : cases) {
        ASSERT_EQ(XMLNode::setGlobalOptions(c.encoding), 0);
        EXPECT_STREQ(tool.toXML(c.text), c.escaped) << c.text;
        EXPECT_EQ(ToXMLStringTool::lengthXMLString(c.text), static_cast<int>(strlen(c.escaped)));
    }
    EXPECT_EQ(ToXMLStringTool::lengthXMLString("a<b & \"c\""), 26);
    tool.freeBuffer();
    EXPECT_STREQ(tool.toXML(""), "");
}

// Every document of the corpus parses, is written (both ways) and parses
// again to the same tree.
TEST(XmlWriter, CorpusRoundTrips) {
    for (const char* name : {"freedesktop.org.xml", "launchpad-wadl.xml", "xkb-rules.xml"}) {
        XMLNode tree = XMLNode::parseFile((std::string(SECNATIVE_BENCH_CORPUS "/") + name).c_str());
        ASSERT_FALSE(tree.isEmpty()) << name;
        for (int format : {0, 1}) {
            XMLNode again = XMLNode::parseString(written(tree, format).c_str());
            EXPECT_EQ(xmltest::dump(again), xmltest::dump(tree)) << name << " format " << format;
        }
    }
}

TEST(XmlWriter, MillionLevelTree) {
    const int depth = 1000000;
    XMLNode root = XMLNode::createXMLTopNode("a");
    XMLNode node = root;
    for (int i = 1; i < depth; ++i) node = node.addChild("a");
    node = XMLNode();
    std::string text = written(root, 0);
    ASSERT_EQ(text.size(), static_cast<size_t>(depth) * 7 - 3);  // <a>...<a/>...</a>
    EXPECT_EQ(text.substr(0, 6), "<a><a>");
    EXPECT_EQ(text.substr(text.size() - 8), "</a></a>");
    EXPECT_EQ(text.find("<a/>"), static_cast<size_t>(depth - 1) * 3);
}

}  // namespace
