// Queries: searches by name, index and iterator, fetches by index, order
// positions, content enumeration, path lookups and deep copies, on parsed
// trees (packed arrays) and edited ones (arrays of their own).
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "support/printable.h"
#include "support/xml_test_util.h"
#include "xml/xml_item_index.h"

namespace {

using xmltest::dump;
using xmltest::rec;
using xmltest::Record;

XMLNode parsed(const char* text, const char* tag) {
    XMLResults results;
    XMLNode node = XMLNode::parseString(text, tag, &results);
    EXPECT_EQ(results.error, errorNone) << text;
    return node;
}

// Index of found among node's children; -1 for an empty handle.
int childIndex(const XMLNode& node, const XMLNode& found) {
    for (int i = 0; i < node.nChildNode(); ++i) {
        if (rec(node.getChildNode(i)) == rec(found)) return i;
    }
    return found.isEmpty() ? -1 : -2;
}

// The queries that take a name, all giving their empty answer for name.
void expectNothingNamed(const XMLNode& node, const char* name) {
    int it = 0;
    EXPECT_TRUE(node.getChildNode(name, &it).isEmpty() && node.getChildNode(name, -1).isEmpty());
    EXPECT_TRUE(node.getChildNodeWithAttribute(name, "k", NULL, &it).isEmpty());
    EXPECT_TRUE(node.getChildNodeWithAttribute("a", name, NULL, &it).isEmpty());
    EXPECT_TRUE(!node.getAttribute(name, &it) && !node.getAttribute(name, 0));
    EXPECT_EQ(node.nChildNode(name) + node.isAttributeSet(name) + it, 0);
}

TEST(XmlQuery, EmptyHandleAndNullNamesGiveEmptyAnswers) {
    expectNothingNamed(parsed("<r k='v'><a k='v'/></r>", "r"), NULL);
    expectNothingNamed(XMLNode(), "a");
    XMLNode e;
    char path[] = "a/b";
    EXPECT_EQ(e.nChildNode() + e.nText() + e.nClear() + e.nAttribute() + e.nElement(), 0);
    EXPECT_TRUE(!e.getName() && !e.isDeclaration() && !e.getText(0) && !e.getAttributeName(0));
    EXPECT_TRUE(!e.getClear(0).value && !e.getAttribute(0).name && !e.getAttributeValue(0));
    EXPECT_TRUE(e.getParentNode().isEmpty() && e.getChildNode(0).isEmpty());
    EXPECT_TRUE(e.getChildNodeByPath(NULL, 1).isEmpty());
    EXPECT_TRUE(e.getChildNodeByPathNonConst(path, 1).isEmpty());
    for (int pos : {e.positionOfChildNode(0), e.positionOfChildNode(XMLNode()),
                    e.positionOfChildNode("a", 0), e.positionOfText(0), e.positionOfText("t"),
                    e.positionOfClear(0), e.positionOfClear(static_cast<XMLClear*>(NULL))}) {
        EXPECT_EQ(pos, -1);
    }
    EXPECT_EQ(e.enumContents(0).type, elementNone);
    EXPECT_TRUE(e.deepCopy().isEmpty());
}

// ---- Children and attributes by name -------------------------------------------

struct ByName {
    const char* name;
    int index;
    int expected;  // child index (-1: empty handle), or count
};

TEST(XmlQuery, ChildByNameIndexAndIterator) {
    XMLNode r = parsed("<r><a/><B/><a/><c/></r>", "r");
    const ByName cases[] = {{"a", 0, 0},  {"A", 1, 2},   {"a", -1, 2}, {"a", -7, 2},
                            {"a", 2, -1}, {"b", 0, 1},   {"b", -1, 1}, {"c", 0, 3},
                            {"z", 0, -1}, {"z", -1, -1}, {"", 0, -1}};
    for (const ByName& c : cases) {
        EXPECT_EQ(childIndex(r, r.getChildNode(c.name, c.index)), c.expected)
            << c.name << " " << c.index;
    }
    const ByName counts[] = {{"a", 0, 2}, {"b", 0, 1}, {"B", 0, 1}, {"z", 0, 0}};
    for (const ByName& c : counts) EXPECT_EQ(r.nChildNode(c.name), c.expected) << c.name;

    int it = 0;
    EXPECT_EQ(childIndex(r, r.getChildNode("a", &it)), 0);
    EXPECT_EQ(childIndex(r, r.getChildNode("A", &it)), 2);
    EXPECT_EQ(childIndex(r, r.getChildNode("a", &it)), -1);
    EXPECT_EQ(it, 3);
    it = -5;  // a negative start counts as 0
    EXPECT_EQ(childIndex(r, r.getChildNode("b", &it)), 1);
    EXPECT_EQ(it, 2);
}

TEST(XmlQuery, NamelessChildMatchesNoName) {
    XMLNode r = XMLNode::createXMLTopNode("r");
    r.addChild("x").updateName(NULL);
    r.addChild("");
    EXPECT_EQ(childIndex(r, r.getChildNode("", 0)), 1);
    EXPECT_EQ(r.positionOfChildNode("", 0), 1);
}

struct WithAttribute {
    const char* name;
    const char* attribute;
    const char* value;
    int expected;  // child index, -1 for an empty handle
};

TEST(XmlQuery, ChildWithAttribute) {
    XMLNode r = parsed(
        "<r><p k='x'/><p/><p k='y' k='ONE'/><q k='one'/><p k/><p k k='two'/><p K='three'/></r>",
        "r");
    const WithAttribute cases[] = {
        {"p", "k", "X", 0},      {"P", "K", NULL, 0},
        {"p", "k", "one", 2},    {"q", "k", "ONE", 3},
        {"p", "k", "zzz", -1},   {"p", "k", "three", 6},
        {"p", "nope", NULL, -1}, {"z", "k", NULL, -1},
        {"p", "k", "two", 5},  // a valueless attribute hides no later one
    };
    for (const WithAttribute& c : cases) {
        EXPECT_EQ(childIndex(r, r.getChildNodeWithAttribute(c.name, c.attribute, c.value)),
                  c.expected)
            << c.name << " " << c.attribute << " " << (c.value ? c.value : "NULL");
    }
    int it = 0;
    std::vector<int> walk;
    for (XMLNode n; !(n = r.getChildNodeWithAttribute("p", "k", NULL, &it)).isEmpty();) {
        walk.push_back(childIndex(r, n));
    }
    EXPECT_EQ(walk, (std::vector<int>{0, 2, 4, 5, 6}));
    EXPECT_EQ(it, 7);
}

TEST(XmlQuery, AttributeByNameIndexAndIterator) {
    XMLNode a = parsed("<a x='1' Y='2' x='3' z/>", "a");
    const struct {
        const char* name;
        int index;
        std::string expected;  // "(null)" for no value
    } cases[] = {{"x", 0, "1"}, {"X", 1, "3"},      {"x", 2, "(null)"}, {"x", -5, "1"},
                 {"y", 0, "2"}, {"z", 0, "(null)"}, {"w", 0, "(null)"}};
    for (const auto& c : cases) {
        const char* value = a.getAttribute(c.name, c.index);
        EXPECT_EQ(value ? value : "(null)", c.expected) << c.name << " " << c.index;
    }
    int it = 0;
    EXPECT_STREQ(a.getAttribute("x", &it), "1");
    EXPECT_STREQ(a.getAttribute("x", &it), "3");
    EXPECT_EQ(a.getAttribute("x", &it), nullptr);
    EXPECT_EQ(it, 3);  // a miss leaves the iterator alone
    EXPECT_EQ(a.getAttribute("Z", &it), nullptr);
    EXPECT_EQ(it, 4);  // found, without a value
    EXPECT_TRUE(a.isAttributeSet("Z") && !a.isAttributeSet("w"));
    EXPECT_EQ(a.getAttribute(0).name, rec(a)->attributes[0].name);  // the stored pointers
    for (int bad : {-1, 4}) EXPECT_TRUE(!a.getAttributeName(bad) && !a.getAttribute(bad).name);
}

TEST(XmlQuery, FetchByIndex) {
    // A top-level declaration holds the rest of the document.
    XMLNode decl = parsed("<?xml version='1.0'?><r>t<b/><!--c-->u</r>", NULL);
    XMLNode r = decl.getChildNode("r", 0);
    EXPECT_TRUE(decl.isDeclaration() && !r.isDeclaration() && decl.getParentNode().isEmpty());
    EXPECT_STREQ(r.getText(1), "u");
    for (int bad : {-1, 2}) EXPECT_TRUE(!r.getText(bad) && r.getChildNode(bad).isEmpty());
    EXPECT_EQ(r.getClear(0).value, rec(r)->clears[0].value);  // the stored pointers
    EXPECT_EQ(rec(r)->refCount, 2);  // the entry and r: lookups leave no reference behind
}

// ---- Order positions and enumeration --------------------------------------------

TEST(XmlQuery, Positions) {
    // order: 't' 0, a 1, !c 2, b 3, 'u' 4, A 5
    XMLNode r = parsed("<r>t<a/><!--c--><b/>u<A/></r>", "r");
    XMLNode bare = parsed("<e><x/></e>", "e");
    char copy[] = "u";
    XMLClear stored = r.getClear(0);
    XMLClear other = {copy, NULL, NULL};
    const int cases[][2] = {{r.positionOfText(0), 0},
                            {r.positionOfText(1), 4},
                            {r.positionOfText(9), 4},
                            {r.positionOfText(-1), -1},
                            {bare.positionOfText(0), -1},
                            {r.positionOfText(r.getText(1)), 4},
                            {r.positionOfText(copy), -1},
                            {r.positionOfText(static_cast<const char*>(NULL)), 0},
                            {bare.positionOfText(static_cast<const char*>(NULL)), -1},
                            {r.positionOfClear(0), 2},
                            {r.positionOfClear(static_cast<XMLClear*>(NULL)), 2},
                            {r.positionOfClear(&stored), 2},
                            {r.positionOfClear(&other), -1},
                            {r.positionOfClear(stored.value), 2},
                            {r.positionOfChildNode(0), 1},
                            {r.positionOfChildNode(2), 5},
                            {r.positionOfChildNode(7), 5},
                            {r.positionOfChildNode(r.getChildNode(1)), 3},
                            {r.positionOfChildNode(bare.getChildNode(0)), -1},
                            {r.positionOfChildNode("a", 0), 1},
                            {r.positionOfChildNode("a", 1), 5},
                            {r.positionOfChildNode("a", 5), 5},  // fewer: the last one
                            {r.positionOfChildNode("a", -1), -1},
                            {r.positionOfChildNode("z", 0), -1},
                            {r.positionOfChildNode(static_cast<const char*>(NULL), 1), 3}};
    for (const auto& c : cases) EXPECT_EQ(c[0], c[1]) << "case " << (&c - cases);
}

TEST(XmlQuery, PositionOfAClearItemWithoutValue) {
    XMLNode r = XMLNode::createXMLTopNode("r");
    r.addClear("x");
    r.addText("t");
    r.addClear("y");
    XMLClear held = *r.updateClear(static_cast<const char*>(NULL), 1);
    EXPECT_EQ(held.value, nullptr);
    EXPECT_EQ(r.positionOfClear(&held), 2);
}

// ---- Path lookups ---------------------------------------------------------------

struct PathCase {
    const char* path;
    char createMissing;
    char separator;
    const char* found;  // dump of the result, "(empty)" or "(this)"
    const char* after;  // dump of the tree afterwards
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << secnative::test::quoted(c.path) << " split at "
        << secnative::test::quoted(std::string(1, c.separator))
        << (c.createMissing ? ", creating" : ", finding");
}

const char kPathTree[] = "<r><a><x/></a><A><b/></A></r>";
const char kPathDump[] = "r{a{x},A{b}}";

class XmlQueryPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(XmlQueryPath, FindsOrCreates) {
    const PathCase& c = GetParam();
    XMLNode r = parsed(kPathTree, "r");
    XMLNode found = r.getChildNodeByPath(c.path, c.createMissing, c.separator);
    EXPECT_EQ(rec(found) == rec(r) ? "(this)" : dump(found), c.found);
    EXPECT_EQ(dump(r), c.after);
    EXPECT_EQ(xmltest::checkTree(r), "");
    if (!c.path) return;
    // The non-const form finds the same and restores its buffer.
    XMLNode again = parsed(kPathTree, "r");
    std::string buffer = c.path;
    XMLNode same = again.getChildNodeByPathNonConst(&buffer[0], c.createMissing, c.separator);
    EXPECT_EQ(rec(same) == rec(again) ? "(this)" : dump(same), c.found);
    EXPECT_EQ(buffer, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlQueryPath,
    ::testing::Values(PathCase{NULL, 1, '/', "(this)", kPathDump},
                      PathCase{"", 1, '/', "(this)", kPathDump},
                      PathCase{"A/x", 0, '/', "x", kPathDump},  // the first a only
                      PathCase{"a/b/c", 0, '/', "(empty)", kPathDump},
                      PathCase{"a/b/c", 1, '/', "c", "r{a{x,b{c}},A{b}}"},
                      PathCase{"/a", 1, '/', "a", "r{a{x},A{b},{a}}"},
                      PathCase{"a/", 1, '/', "", "r{a{x,},A{b}}"},
                      PathCase{"a.x", 0, '.', "x", kPathDump},
                      PathCase{"a/x", 0, '.', "(empty)", kPathDump},
                      // a NUL separator: the whole path is one name
                      PathCase{"a/x", 0, '\0', "(empty)", kPathDump},
                      PathCase{"a/x", 1, '\0', "a/x", "r{a{x},A{b},a/x}"}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.path); });

// ---- Deep copy --------------------------------------------------------------------

// Visits every owned string of the tree below node.
template <typename Visit>
void forEachString(const XMLNode& node, Visit visit) {
    std::vector<const Record*> stack{rec(node)};
    while (!stack.empty()) {
        const Record* r = stack.back();
        stack.pop_back();
        visit(r->name);
        for (int i = 0; i < r->attributeCount; ++i) {
            visit(r->attributes[i].name);
            visit(r->attributes[i].value);
        }
        for (int i = 0; i < r->textCount; ++i) visit(r->texts[i]);
        for (int i = 0; i < r->clearCount; ++i) visit(r->clears[i].value);
        for (int i = 0; i < r->childCount; ++i) stack.push_back(rec(r->children[i]));
    }
}

void expectIndependentCopy(const XMLNode& source, const XMLNode& copy) {
    EXPECT_EQ(dump(copy), dump(source));
    EXPECT_EQ(xmltest::checkTree(copy), "");
    EXPECT_TRUE(rec(copy)->parent == NULL && rec(copy)->refCount == 1);
    std::set<const char*> strings;
    forEachString(source, [&](const char* s) { strings.insert(s); });
    int shared = 0;
    forEachString(copy, [&](const char* s) { shared += s && strings.count(s); });
    EXPECT_EQ(shared, 0);
}

TEST(XmlQuery, DeepCopyOfParsedSubtree) {
    XMLNode root = parsed(
        "<?xml version='1.0'?><r a='1' f><s x='y'>t<!--c--><k/>u<![CDATA[d]]><k><m/></k></s>v</r>",
        NULL);
    XMLNode s = root.getChildNodeByPath("r/s");
    s.deleteText(1);  // a deletion leaves room at the end of the order list
    XMLNode copy = s.deepCopy();
    expectIndependentCopy(s, copy);
    expectIndependentCopy(root, root.deepCopy());
    EXPECT_EQ(copy.getClear(0).openTag, s.getClear(0).openTag);  // delimiters shared
    EXPECT_EQ(copy.getClear(1).closeTag, s.getClear(1).closeTag);
    EXPECT_EQ(rec(rec(copy)->children[1])->refCount, 1);  // held by its entry only

    std::string before = dump(root);
    copy.addText("new", 0);
    copy.getChildNode(0).addChild("n");
    copy.updateAttribute("z", NULL, 0);
    EXPECT_EQ(dump(root), before);
    copy = XMLNode();
    EXPECT_EQ(dump(root), before);
}

}  // namespace
