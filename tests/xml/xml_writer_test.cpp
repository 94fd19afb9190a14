// The writer: the exact text of small trees, formatted and not; escaping
// under several encodings; round trips of the benchmark corpus; a deep
// tree; and the tool's buffer.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "support/test_size.h"
#include "support/xml_test_util.h"
#include "xml/xml_block_scan.h"
#include "xml/xml_encoding.h"

namespace {

// The written text; the size createXMLString reports must be its length.
std::string written(const XMLNode& node, int format) {
    int size = -1;
    std::string out = xmltest::written(node, format, &size);
    if (out != "(null)") {
        EXPECT_EQ(out.size(), static_cast<size_t>(size));
    }
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
        {XMLNode::encodingUTF8, "x\xE6\x97", "x"},            // cut short by the end: left out
        {XMLNode::encodingBig5, "d\xFE", "d"},                // FE leads two bytes in Big5
        {XMLNode::encodingShiftJIS, "<\x83", "&lt;"},         // so does 83 in Shift-JIS
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

// A string ending in the lead byte of a multibyte character (a character
// reference can put one there, and so can whitespace dropped from behind a
// text): written as it was, that byte would take in the markup behind it on
// the next read, a closing quote or the "<" of the next tag. It is left out.
struct CutShort {
    XMLNode::XMLCharEncoding encoding;
    const char* document;
    const char* raw;  // format 0; reads back to a tree written the same way
};

const CutShort kCutShort[] = {
    {XMLNode::encodingBig5, "<a v='&#254;'>t&#254;<b/></a>", "<a v=\"\">t<b/></a>"},
    {XMLNode::encodingBig5, "<a>t\xFE <!DOCTYPE d></a>", "<a>t<!DOCTYPE d></a>"},
    {XMLNode::encodingShiftJIS, "<a v='x&#131;' w='y'/>", "<a v=\"x\" w=\"y\"/>"},
    {XMLNode::encodingGBK, "<a>x&#129;</a><b/>", "<a>x</a><b/>"},
    {XMLNode::encodingUTF8, "<a v='&#226;'>y&#240;</a>", "<a v=\"\">y</a>"},
};

TEST(XmlWriter, CharacterCutShortKeepsTheMarkupBehindIt) {
    xmltest::OptionsGuard guard;
    for (const CutShort& c : kCutShort) {
        ASSERT_EQ(XMLNode::setGlobalOptions(c.encoding, 1, 1, 0), 0);
        const std::string once = written(XMLNode::parseString(c.document), 0);
        EXPECT_EQ(once, c.raw) << c.document;
        EXPECT_EQ(written(XMLNode::parseString(once.c_str()), 0), once) << c.document;
    }
}

// The escaped form as a plain walk over the characters gives it: an entity
// for each of & < > " ', every other character whole, a character cut short
// by the NUL left out.
std::string escapedByWalk(const char* text, const signed char* table) {
    static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    static const char kSpecial[] = "&<>\"'";
    std::string out;
    for (const char* p = text; *p;) {
        if (const char* s = std::strchr(kSpecial, *p)) {
            out += kEntities[s - kSpecial];
            ++p;
            continue;
        }
        const int n = table[static_cast<unsigned char>(*p)];
        for (int i = 1; i < n; ++i) {
            if (!p[i]) return out;
        }
        out.append(p, static_cast<size_t>(n));
        p += n;
    }
    return out;
}

// Random texts of specials, ASCII and lead and trail bytes, at every
// alignment, under every encoding: the block scans agree with the walk.
TEST(XmlWriter, EscapingAtEveryAlignment) {
    xmltest::OptionsGuard guard;
    const char kAlphabet[] = "ab <>&\"'\x80\x83\xA1\xC3\xE6\xF0\xFF";
    std::mt19937 random(7);
    ToXMLStringTool tool;
    for (XMLNode::XMLCharEncoding encoding : {XMLNode::encodingUTF8, XMLNode::encodingLegacy,
                                              XMLNode::encodingShiftJIS, XMLNode::encodingGBK}) {
        ASSERT_EQ(XMLNode::setGlobalOptions(encoding), 0);
        for (int round = 0; round < 400; ++round) {
            alignas(16) char buffer[128];
            const size_t offset = static_cast<size_t>(round % 16);
            const size_t length = random() % 80;
            for (size_t i = 0; i < length; ++i) {
                buffer[offset + i] = kAlphabet[random() % (sizeof kAlphabet - 1)];
            }
            buffer[offset + length] = 0;
            const char* text = buffer + offset;
            const std::string expected = escapedByWalk(text, secnative::xml::XML_ByteTable);
            ASSERT_EQ(tool.toXML(text), expected) << encoding << " " << round;
            ASSERT_EQ(ToXMLStringTool::lengthXMLString(text), static_cast<int>(expected.size()));
            ASSERT_EQ(secnative::xml::stringLength(text), length);
        }
    }
}

// A text that ends at the last byte of a page, with no page behind it.
TEST(XmlWriter, EscapingStopsAtTheEndOfMappedMemory) {
    const long page = sysconf(_SC_PAGESIZE);
    char* map = static_cast<char*>(mmap(NULL, static_cast<size_t>(2 * page), PROT_READ | PROT_WRITE,
                                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(map + page, static_cast<size_t>(page), PROT_NONE), 0);
    for (size_t length : {0, 1, 15, 16, 17, 100}) {
        char* text = map + page - 1 - length;
        std::memset(text, 'x', length);
        text[length] = 0;
        if (length) text[0] = '<';
        EXPECT_EQ(ToXMLStringTool::lengthXMLString(text),
                  static_cast<int>(length ? length + 3 : 0));
        EXPECT_EQ(secnative::xml::stringLength(text), length);
    }
    munmap(map, static_cast<size_t>(2 * page));
}

// Every document of the corpus parses, is written (both ways) and parses
// again to the same tree.
TEST(XmlWriter, CorpusRoundTrips) {
    for (const char* name : {"freedesktop.org.xml", "launchpad-wadl.xml", "xkb-rules.xml"}) {
        XMLNode tree = XMLNode::parseFile((std::string(SECNATIVE_CORPUS_DIR "/") + name).c_str());
        ASSERT_FALSE(tree.isEmpty()) << name;
        for (int format : {0, 1}) {
            XMLNode again = XMLNode::parseString(written(tree, format).c_str());
            EXPECT_EQ(xmltest::dump(again), xmltest::dump(tree)) << name << " format " << format;
        }
    }
}

TEST(XmlWriter, MillionLevelTree) {
    const int depth = secnative::test::test_size(1000000, 100000);
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
