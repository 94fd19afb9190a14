// Deep nesting: a million levels parse, are walked and are freed without
// exhausting the stack, and give the same codes and positions as shallow
// documents of the same shape.
#include <gtest/gtest.h>

#include <string>

#include "support/test_size.h"
#include "support/xml_test_util.h"
#include "xml/xml_node_access.h"

namespace {

using xmltest::rec;
using xmltest::Record;

// A million levels; a hundred thousand under memcheck.
const int kDepth = secnative::test::test_size(1000000, 100000);

std::string repeat(const char* piece, int times) {
    std::string out;
    out.reserve(std::char_traits<char>::length(piece) * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Follows the first child down; returns the number of levels.
int depthOf(const XMLNode& node) {
    int depth = 0;
    for (const Record* r = rec(node); r; r = r->childCount ? rec(r->children[0]) : NULL) ++depth;
    return depth;
}

const Record* deepest(const XMLNode& node) {
    const Record* r = rec(node);
    while (r->childCount) r = rec(r->children[0]);
    return r;
}

TEST(XmlDeep, MillionLevelsParseWalkAndFree) {
    std::string doc = repeat("<a>", kDepth) + "<leaf>x</leaf>" + repeat("</a>", kDepth);
    XMLNode leaf;
    {
        XMLResults results;
        XMLNode root = XMLNode::parseString(doc.c_str(), NULL, &results);
        EXPECT_EQ(results.error, errorNone);
        EXPECT_EQ(depthOf(root), kDepth + 1);
        EXPECT_EQ(xmltest::checkTree(root), "");
        std::string expected = repeat("a{", kDepth) + "leaf{'x'}" + repeat("}", kDepth);
        EXPECT_TRUE(xmltest::dump(root) == expected);
        leaf = XMLNodeAccess::handle(const_cast<Record*>(deepest(root)));
    }
    // The tree is gone; the leaf lives on as a top node of its own.
    EXPECT_EQ(rec(leaf)->parent, nullptr);
    EXPECT_EQ(rec(leaf)->refCount, 1);
    EXPECT_EQ(xmltest::dump(leaf), "leaf{'x'}");
}

struct DeepShape {
    const char* name;
    std::string (*make)(int depth);
    XMLError error;
    // column of the reported position for a document of the given depth
    long (*column)(long depth);
    bool treeReturned;
};

const DeepShape kShapes[] = {
    {"unclosed", [](int d) { return repeat("<a>", d); }, warningUnmatchedEndTag,
     [](long d) { return 3 * d + 1; }, true},
    {"foreign end tag at the bottom",
     [](int d) { return repeat("<a>", d) + "</b>" + repeat("</a>", d); }, errorUnmatchedEndTag,
     [](long d) { return 3 * d + 5; }, false},
    {"inner elements closed by the root's end tag",
     [](int d) { return "<r>" + repeat("<a>", d) + "</r>"; }, warningUnmatchedEndTag,
     [](long d) { return 3 * d + 8; }, true},
    {"bad entity at the bottom", [](int d) { return repeat("<a>", d) + "&bad;"; },
     errorUnknownCharacterEntity, [](long d) { return 3 * d + 6; }, false},
};

// Far deeper than a recursive parser's stack could take, at a quarter of the
// cost of a million levels.
constexpr int kShapeDepth = 100000;

TEST(XmlDeep, DeepAndShallowDocumentsGiveTheSameOutcome) {
    for (const DeepShape& shape : kShapes) {
        for (int depth : {2, 3, kShapeDepth}) {
            std::string doc = shape.make(depth);
            XMLResults results;
            XMLNode node = XMLNode::parseString(doc.c_str(), NULL, &results);
            EXPECT_EQ(results.error, shape.error) << shape.name << " " << depth;
            EXPECT_EQ(results.line, 1) << shape.name;
            EXPECT_EQ(results.column, shape.column(depth)) << shape.name << " " << depth;
            EXPECT_EQ(node.isEmpty(), !shape.treeReturned) << shape.name;
        }
    }
}

TEST(XmlDeep, DeleteNodeContentOfAMillionLevelChainBuiltByAdders) {
    XMLNode root = XMLNodeAccess::newRecord(NULL, stringDup("a"), 0);
    XMLNode middle;
    XMLNode current = root;
    for (int i = 1; i < kDepth; ++i) {
        current = XMLNodeAccess::addChild(current, 0, stringDup("a"), 0, -1);
        if (i == kDepth / 2) middle = current;
    }
    current = XMLNode();
    EXPECT_EQ(depthOf(root), kDepth);
    root.deleteNodeContent();
    EXPECT_TRUE(root.isEmpty());            // the last handle: the record is gone
    EXPECT_EQ(xmltest::dump(middle), "#");  // emptied, still held
    EXPECT_EQ(rec(middle)->refCount, 1);
}

TEST(XmlDeep, DeepCopyOfAMillionLevelChain) {
    XMLNode copy;
    {
        XMLNode root = XMLNodeAccess::newRecord(NULL, stringDup("a"), 0);
        XMLNodeAccess::addAttribute(root, 0, stringDup("k"), stringDup("v"));
        XMLNode current = root;
        for (int i = 1; i < kDepth; ++i) {
            current = XMLNodeAccess::addChild(current, 0, stringDup("a"), 0, -1);
        }
        XMLNodeAccess::addText(current, 0, stringDup("x"), -1);
        current = XMLNode();
        copy = root.deepCopy();
    }
    // The source is gone: the copy stands on its own.
    EXPECT_EQ(xmltest::checkTree(copy), "");
    EXPECT_EQ(xmltest::countElements(copy), kDepth);
    EXPECT_EQ(rec(copy)->refCount, 1);
    std::string expected =
        "a[k=v]{" + repeat("a{", kDepth - 2) + "a{'x'}" + repeat("}", kDepth - 1);
    EXPECT_TRUE(xmltest::dump(copy) == expected);
}

}  // namespace
