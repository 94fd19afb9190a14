// Node model: reference-count lifecycles, the order list, the growth rule,
// the private adders and stringDup. Trees are built through the internal
// adders. Run under the sanitize preset, these tests also prove that every
// lifecycle frees exactly what it should.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/xml_test_util.h"
#include "xml/xml_node_access.h"

namespace {

using xmltest::checkTree;
using xmltest::dump;
using xmltest::rec;
using xmltest::Record;

XMLNode top(const char* name = NULL) {
    return XMLNodeAccess::newRecord(NULL, name ? stringDup(name) : NULL, 0);
}

XMLNode child(XMLNode& parent, const char* name, int pos = -1) {
    return XMLNodeAccess::addChild(parent, 0, stringDup(name), 0, pos);
}

const char* text(XMLNode& parent, const char* value, int pos = -1) {
    return XMLNodeAccess::addText(parent, 0, stringDup(value), pos);
}

XMLClear* clear(XMLNode& parent, const char* value, int pos = -1) {
    return XMLNodeAccess::addClear(parent, 0, stringDup(value), "<!--", "-->", pos);
}

// a{b{c,'t'},'u'} with an attribute on a.
XMLNode smallTree() {
    XMLNode a = top("a");
    XMLNodeAccess::addAttribute(a, 0, stringDup("x"), stringDup("1"));
    XMLNode b = child(a, "b");
    child(b, "c");
    text(b, "t");
    text(a, "u");
    return a;
}

TEST(XmlModel, CopyAndDestroyLeaveCountUnchanged) {
    XMLNode a = smallTree();
    EXPECT_EQ(rec(a)->refCount, 1);
    {
        XMLNode copy = a;
        XMLNode another(copy);
        EXPECT_EQ(rec(a)->refCount, 3);
    }
    EXPECT_EQ(rec(a)->refCount, 1);
    EXPECT_EQ(dump(a), "a[x=1]{b{c,'t'},'u'}");
}

TEST(XmlModel, ChildOutlivesItsTree) {
    XMLNode b;
    {
        XMLNode a = smallTree();
        b = XMLNodeAccess::handle(rec(rec(a)->children[0]));
        EXPECT_EQ(rec(b)->refCount, 2);
    }
    ASSERT_FALSE(b.isEmpty());
    EXPECT_EQ(rec(b)->parent, nullptr);
    EXPECT_EQ(rec(b)->refCount, 1);
    EXPECT_EQ(dump(b), "b{c,'t'}");
    EXPECT_EQ(checkTree(b), "");
}

TEST(XmlModel, DeleteNodeContentWhileAnotherHandleHoldsTheNode) {
    XMLNode a = smallTree();
    XMLNode b = XMLNodeAccess::handle(rec(rec(a)->children[0]));
    XMLNode held = b;
    b.deleteNodeContent();
    EXPECT_EQ(dump(a), "a[x=1]{'u'}");
    EXPECT_EQ(checkTree(a), "");
    ASSERT_FALSE(held.isEmpty());
    EXPECT_EQ(rec(held)->name, nullptr);
    EXPECT_EQ(rec(held)->childCount + rec(held)->textCount + rec(held)->clearCount, 0);
    EXPECT_EQ(rec(held)->parent, nullptr);
    EXPECT_EQ(rec(held)->refCount, 2);  // b and held
}

TEST(XmlModel, DeleteNodeContentEmptiesDescendantsThatOthersHold) {
    XMLNode a = smallTree();
    XMLNode c = XMLNodeAccess::handle(rec(rec(rec(a)->children[0])->children[0]));
    a.deleteNodeContent();
    EXPECT_TRUE(a.isEmpty());  // a was the last handle: its record is gone
    EXPECT_EQ(dump(c), "#");   // emptied by force, still a valid record
    EXPECT_EQ(rec(c)->parent, nullptr);
    EXPECT_EQ(rec(c)->refCount, 1);
}

TEST(XmlModel, DeleteNodeContentOnEmptyHandleDoesNothing) {
    XMLNode empty;
    empty.deleteNodeContent();
    EXPECT_TRUE(empty.isEmpty());
}

TEST(XmlModel, SelfAssignmentAndAssignmentWithinOneRecord) {
    XMLNode a = smallTree();
    XMLNode& same = a;
    a = same;
    EXPECT_EQ(rec(a)->refCount, 1);
    XMLNode other = a;
    a = other;
    other = a;
    EXPECT_EQ(rec(a)->refCount, 2);
    EXPECT_EQ(dump(a), "a[x=1]{b{c,'t'},'u'}");
}

TEST(XmlModel, AssignFromAHandleInsideTheReleasedTree) {
    // The only handle on a is overwritten by the children entry of its own
    // tree: the entry must be read before a's tree is released.
    XMLNode a = smallTree();
    a = rec(a)->children[0];
    EXPECT_EQ(dump(a), "b{c,'t'}");
    EXPECT_EQ(rec(a)->parent, nullptr);
    EXPECT_EQ(rec(a)->refCount, 1);
}

TEST(XmlModel, EmptyHandleAndEmptyNode) {
    XMLNode empty = XMLNode::emptyNode();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_TRUE(XMLNode::emptyXMLNode.isEmpty());
    XMLNode copy = empty;
    copy = smallTree();
    copy = empty;
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_EQ(XMLNode::emptyXMLClear.value, nullptr);
    EXPECT_EQ(XMLNode::emptyXMLAttribute.name, nullptr);
}

// ---- The order list --------------------------------------------------------

// Takes node out of its parent the way deleteNodeContent does, leaving its
// own contents in place: the parent's entry and its reference go.
void detach(XMLNode& node) {
    XMLNodeAccess::detachFromParent(rec(node));
    rec(node)->parent = NULL;
    rec(node)->refCount--;
}

struct Insertion {
    const char* before;  // items appended first: c=child, t=text, l=clear
    char kind;           // what is inserted
    int pos;
    const char* after;  // dump of the node afterwards
};

const char* kindName(char kind) {
    return kind == 'c' ? "child" : kind == 't' ? "text" : "clear";
}

void PrintTo(const Insertion& c, std::ostream* os) {
    *os << "a " << kindName(c.kind) << " at " << c.pos << " among \"" << c.before << "\"";
}

void addItem(XMLNode& node, char kind, const std::string& label, int pos) {
    if (kind == 'c') child(node, label.c_str(), pos);
    if (kind == 't') text(node, label.c_str(), pos);
    if (kind == 'l') clear(node, label.c_str(), pos);
}

class XmlModelOrder : public ::testing::TestWithParam<Insertion> {};

TEST_P(XmlModelOrder, InsertionPlacesTheItemByPosition) {
    const Insertion& c = GetParam();
    XMLNode node = top();
    for (int i = 0; c.before[i]; ++i) addItem(node, c.before[i], std::to_string(i), -1);
    addItem(node, c.kind, "new", c.pos);
    EXPECT_EQ(dump(node), c.after);
    EXPECT_EQ(checkTree(node), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlModelOrder,
    ::testing::Values(
        // no text at or after position 0: appended
        Insertion{"c", 't', 0, "#{0,'new'}"},
        // a text follows: the new one goes in front of it
        Insertion{"tc", 't', 0, "#{'new','0',1}"}, Insertion{"cct", 't', 0, "#{'new',0,1,'2'}"},
        // only children follow: appended, no entry lost or doubled
        Insertion{"ccc", 't', 0, "#{0,1,2,'new'}"},
        // position equal to the total, or negative: appended
        Insertion{"tct", 't', 3, "#{'0',1,'2','new'}"},
        Insertion{"tct", 't', -5, "#{'0',1,'2','new'}"},
        // children and clear items follow the same rule
        Insertion{"tcc", 'c', 1, "#{'0',new,1,2}"},
        Insertion{"lctl", 'l', 2, "#{!<!--|0|-->,1,!<!--|new|-->,'2',!<!--|3|-->}"},
        Insertion{"ctc", 'c', 2, "#{0,'1',new,2}"}),
    [](const auto& test) {
        const Insertion& c = test.param;
        return std::string(c.before) + "_" + kindName(c.kind) + "_at_" +
               (c.pos < 0 ? "minus" + std::to_string(-c.pos) : std::to_string(c.pos));
    });

TEST(XmlModel, RemovingTheOnlyChildFreesChildrenButKeepsOrder) {
    XMLNode a = top("a");
    XMLNode b = child(a, "b");
    detach(b);
    EXPECT_EQ(rec(a)->childCount, 0);
    EXPECT_EQ(rec(a)->children, nullptr);
    EXPECT_NE(rec(a)->order, nullptr);
    EXPECT_EQ(dump(a), "a");
    EXPECT_EQ(dump(b), "b");
}

TEST(XmlModel, DetachRenumbersLaterSiblings) {
    XMLNode a = top("a");
    child(a, "b");
    text(a, "t");
    XMLNode c = child(a, "c");
    child(a, "d");
    detach(c);
    EXPECT_EQ(dump(a), "a{b,'t',d}");
    EXPECT_EQ(checkTree(a), "");
}

TEST(XmlModel, RemoveOrderElementShiftsIndexesOfItsKind) {
    XMLNode a = top("a");
    text(a, "0");
    child(a, "b");
    text(a, "1");
    text(a, "2");
    // Remove text 1 the way deleteText does: typed array first, then order.
    Record* r = rec(a);
    std::free(r->texts[1]);
    r->texts[1] = r->texts[2];
    r->textCount--;
    XMLNodeAccess::removeOrderElement(r, elementText, 1);
    EXPECT_EQ(dump(a), "a{'0',b,'2'}");
    EXPECT_EQ(checkTree(a), "");
}

// ---- Growth rule and exactMemory ------------------------------------------

TEST(XmlModel, GrowthStepReservesAndExactMemoryTrims) {
    XMLNode a = top("a");
    for (int i = 0; i < 3; ++i) XMLNodeAccess::addText(a, 50, stringDup("t"), -1);
    Record* r = rec(a);
    EXPECT_GE(malloc_usable_size(r->texts), 50 * sizeof(char*));
    EXPECT_GE(malloc_usable_size(r->order), 150 * sizeof(int));
    XMLNodeAccess::exactMemory(r);
    EXPECT_LT(malloc_usable_size(r->texts), 50 * sizeof(char*));
    EXPECT_LT(malloc_usable_size(r->order), 150 * sizeof(int));
    EXPECT_EQ(r->textCount, 3);
    EXPECT_EQ(checkTree(a), "");
}

TEST(XmlModel, GrowthStepDoesNotReallocateBelowTheStep) {
    XMLNode a = top("a");
    XMLNodeAccess::addText(a, 50, stringDup("t"), -1);
    char** first = rec(a)->texts;
    for (int i = 1; i < 49; ++i) XMLNodeAccess::addText(a, 50, stringDup("t"), -1);
    EXPECT_EQ(rec(a)->texts, first);
}

TEST(XmlModel, StepFiftyCrossesMultiplesOfFifty) {
    XMLNode a = top("a");
    for (int i = 0; i < 160; ++i) {
        XMLNodeAccess::addText(a, 50, stringDup(std::to_string(i).c_str()), -1);
        ASSERT_GE(malloc_usable_size(rec(a)->texts), (i + 1) * sizeof(char*));
    }
    EXPECT_STREQ(rec(a)->texts[159], "159");
    EXPECT_EQ(checkTree(a), "");
}

// ---- Adders on empty handles and with NULL arguments ------------------------

TEST(XmlModel, AddersOnEmptyHandleFreeWhatTheyAreGiven) {
    XMLNode empty;
    EXPECT_TRUE(XMLNodeAccess::addChild(empty, 0, stringDup("a"), 0, -1).isEmpty());
    EXPECT_EQ(XMLNodeAccess::addAttribute(empty, 0, stringDup("n"), stringDup("v")),
              &XMLNode::emptyXMLAttribute);
    EXPECT_EQ(XMLNodeAccess::addText(empty, 0, stringDup("t"), -1), nullptr);
    EXPECT_EQ(XMLNodeAccess::addClear(empty, 0, stringDup("c"), NULL, NULL, -1),
              &XMLNode::emptyXMLClear);
}

TEST(XmlModel, AddersRefuseNullNamesAndValues) {
    XMLNode a = top("a");
    EXPECT_TRUE(XMLNodeAccess::addChild(a, 0, NULL, 0, -1).isEmpty());
    EXPECT_EQ(XMLNodeAccess::addAttribute(a, 0, NULL, NULL), &XMLNode::emptyXMLAttribute);
    EXPECT_EQ(XMLNodeAccess::addText(a, 0, NULL, -1), nullptr);
    EXPECT_EQ(XMLNodeAccess::addClear(a, 0, NULL, NULL, NULL, -1), &XMLNode::emptyXMLClear);
    EXPECT_EQ(dump(a), "a");
}

TEST(XmlModel, AddersStoreTheirArguments) {
    XMLNode a = top("a");
    XMLAttribute* flag = XMLNodeAccess::addAttribute(a, 0, stringDup("flag"), NULL);
    EXPECT_STREQ(flag->name, "flag");
    EXPECT_EQ(flag->value, nullptr);
    XMLClear* cdata = XMLNodeAccess::addClear(a, 0, stringDup("x"), NULL, NULL, -1);
    EXPECT_STREQ(cdata->openTag, "<![CDATA[");
    EXPECT_STREQ(cdata->closeTag, "]]>");
    char* owned = stringDup("t");
    EXPECT_EQ(XMLNodeAccess::addText(a, 0, owned, -1), owned);
    XMLNode b = XMLNodeAccess::addChild(a, 0, stringDup("b"), 1, -1);
    EXPECT_EQ(rec(b)->parent, rec(a));
    EXPECT_EQ(rec(b)->isDeclaration, 1);
    EXPECT_EQ(rec(b)->refCount, 2);  // the entry and b
    EXPECT_EQ(dump(a), "a[flag]{!<![CDATA[|x|]]>,'t',?b}");
}

// ---- stringDup ---------------------------------------------------------------

TEST(XmlModel, StringDup) {
    EXPECT_EQ(stringDup(NULL, 3), nullptr);
    struct Case {
        const char* source;
        int length;
        size_t bytes;  // compared, terminating NUL included
        const char* expected;
    } cases[] = {{"abc", 2, 3, "ab"},
                 {"abc", -1, 4, "abc"},
                 {"", -1, 1, ""},
                 {"a\0b", 3, 4, "a\0b"},
                 {"abc", 0, 1, ""}};
    for (const Case& c : cases) {
        char* copy = stringDup(c.source, c.length);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(std::memcmp(copy, c.expected, c.bytes), 0) << c.source << " " << c.length;
        EXPECT_NE(copy, c.source);
        std::free(copy);
    }
}

}  // namespace
