// Records and arrays carved from shared blocks by the parser and the adders: a parsed
// tree can be edited like a built one, any node can outlive its tree or be
// released by another thread, and nothing leaks (run under the sanitize
// preset, a piece used after its release or a block never freed fails).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/xml_test_util.h"
#include "xml/xml_node_access.h"
#include "xml/xml_record_pool.h"

namespace {

using secnative::xml::liveBlocks;
using xmltest::checkTree;
using xmltest::dump;
using xmltest::rec;
using xmltest::Record;

XMLNode parsed(const char* text) {
    XMLResults results;
    XMLNode node = XMLNode::parseString(text, NULL, &results);
    EXPECT_EQ(results.error, errorNone) << text;
    return node;
}

XMLNode childAt(const XMLNode& node, int i) {
    return XMLNodeAccess::handle(XMLNodeAccess::record(rec(node)->children[i]));
}

// ---- Editing a parsed node ---------------------------------------------------

struct Edit {
    const char* name;
    void (*apply)(XMLNode& b);
    const char* after;  // dump of the whole tree afterwards
};

void PrintTo(const Edit& edit, std::ostream* os) {
    *os << edit.name;
}

const char* kDoc = "<a x='1'><b y='2'>t<c/><!--k--><d/>u</b><e/></a>";
// Before any edit: a[x=1]{b[y=2]{'t',c,!<!--|k|-->,d,'u'},e}

const Edit kEdits[] = {
    {"child in front", [](XMLNode& b) { XMLNodeAccess::addChild(b, 0, stringDup("n"), 0, 0); },
     "a[x=1]{b[y=2]{n,'t',c,!<!--|k|-->,d,'u'},e}"},
    {"child appended", [](XMLNode& b) { XMLNodeAccess::addChild(b, 0, stringDup("n"), 0, -1); },
     "a[x=1]{b[y=2]{'t',c,!<!--|k|-->,d,'u',n},e}"},
    {"text in front", [](XMLNode& b) { XMLNodeAccess::addText(b, 0, stringDup("n"), 0); },
     "a[x=1]{b[y=2]{'n','t',c,!<!--|k|-->,d,'u'},e}"},
    {"clear appended",
     [](XMLNode& b) { XMLNodeAccess::addClear(b, 0, stringDup("n"), "<!--", "-->", -1); },
     "a[x=1]{b[y=2]{'t',c,!<!--|k|-->,d,'u',!<!--|n|-->},e}"},
    {"attribute", [](XMLNode& b) { XMLNodeAccess::addAttribute(b, 0, stringDup("z"), NULL); },
     "a[x=1]{b[y=2,z]{'t',c,!<!--|k|-->,d,'u'},e}"},
    {"exact memory", [](XMLNode& b) { XMLNodeAccess::exactMemory(rec(b)); },
     "a[x=1]{b[y=2]{'t',c,!<!--|k|-->,d,'u'},e}"},
    {"first child deleted", [](XMLNode& b) { childAt(b, 0).deleteNodeContent(); },
     "a[x=1]{b[y=2]{'t',!<!--|k|-->,d,'u'},e}"},
    {"every child deleted",
     [](XMLNode& b) {
         childAt(b, 1).deleteNodeContent();
         childAt(b, 0).deleteNodeContent();
     },
     "a[x=1]{b[y=2]{'t',!<!--|k|-->,'u'},e}"},
};

class XmlParsedEdit : public ::testing::TestWithParam<Edit> {};

TEST_P(XmlParsedEdit, ChangesOnlyTheEditedNode) {
    const Edit& edit = GetParam();
    XMLNode a = parsed(kDoc);
    ASSERT_EQ(dump(a), "a[x=1]{b[y=2]{'t',c,!<!--|k|-->,d,'u'},e}");
    XMLNode b = childAt(a, 0);
    edit.apply(b);
    EXPECT_EQ(dump(a), edit.after);
    EXPECT_EQ(checkTree(a), "");
    // The edited node's arrays are its own now; its neighbours' are not.
    EXPECT_EQ(rec(b)->arrays, nullptr);
    EXPECT_NE(rec(a)->arrays, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, XmlParsedEdit, ::testing::ValuesIn(kEdits),
                         [](const ::testing::TestParamInfo<Edit>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p; ++p)
                                 name += *p == ' ' ? '_' : *p;
                             return name;
                         });

// ---- Lifetimes across blocks -------------------------------------------------

// <r><e0 a="0">0</e0><e1 a="1">1</e1>...</r>: enough elements to fill the
// small first blocks and several of the largest ones.
std::string manyElements(int count) {
    std::string s = "<r>";
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        s.append("<e").append(n).append(" a=\"").append(n).append("\">").append(n);
        s.append("</e").append(n).append(">");
    }
    return s + "</r>";
}

std::string expectedElement(int i) {
    std::string n = std::to_string(i);
    return "e" + n + "[a=" + n + "]{'" + n + "'}";
}

TEST(XmlRecordPool, NodesOutliveTheirTreeFromEveryBlock) {
    const int count = 5000;
    std::string text = manyElements(count);
    std::vector<XMLNode> kept;
    std::vector<int> which = {0, 1, 7, 8, 9, 100, 1000, 2500, count - 1};
    {
        XMLNode root = parsed(text.c_str());
        ASSERT_EQ(rec(root)->childCount, count);
        for (int i : which) kept.push_back(childAt(root, i));
    }
    for (size_t k = 0; k < which.size(); ++k) {
        EXPECT_EQ(rec(kept[k])->parent, nullptr);
        EXPECT_EQ(dump(kept[k]), expectedElement(which[k]));
    }
    // Released in an order unrelated to the blocks.
    for (size_t k = 0; k < kept.size(); k += 2) kept[k] = XMLNode();
    for (size_t k = 1; k < kept.size(); k += 2) EXPECT_EQ(dump(kept[k]), expectedElement(which[k]));
}

TEST(XmlRecordPool, RootOutlivesReleasedChildren) {
    XMLNode root = parsed(manyElements(300).c_str());
    for (int i = 299; i >= 0; i -= 3) childAt(root, i).deleteNodeContent();
    EXPECT_EQ(rec(root)->childCount, 200);
    EXPECT_EQ(checkTree(root), "");
    EXPECT_EQ(dump(childAt(root, 199)), expectedElement(298));
}

// Every block comes back once the last piece of it is released, on
// whichever thread that happens.
TEST(XmlRecordPool, SubtreesReleasedByOtherThreads) {
    const size_t blocksBefore = liveBlocks();
    std::string text = manyElements(4000);
    for (int round = 0; round < 20; ++round) {
        std::vector<XMLNode> halves[2];
        {
            XMLNode root = parsed(text.c_str());
            for (int i = 0; i < 4000; ++i) halves[i % 2].push_back(childAt(root, i));
        }
        ASSERT_GT(liveBlocks(), blocksBefore + 1);  // the children hold several blocks
        std::thread t0([&] { halves[0].clear(); });
        std::thread t1([&] { halves[1].clear(); });
        t0.join();
        t1.join();
        EXPECT_EQ(liveBlocks(), blocksBefore) << "round " << round;
    }
}

// The adders carve a new child from the block of its relatives, on whatever
// thread adds it: two trees that hold records of one block grow at once.
TEST(XmlRecordPool, AdderBlocksGrowOnTwoThreads) {
    const int kChildren = 20000;
    const size_t blocksBefore = liveBlocks();
    for (int round = 0; round < 10; ++round) {
        XMLNode top = XMLNode::createXMLTopNode("t");
        XMLNode a = top.addChild("a");
        XMLNode b = top.addChild("b");
        ASSERT_EQ(rec(a)->slab, rec(b)->slab);
        XMLNode::createXMLTopNode("x").addChild(a);
        top = XMLNode();
        std::atomic<int> ready(0);
        auto grow = [&ready](XMLNode n) {
            ready++;
            while (ready < 2) {
            }
            for (int i = 0; i < kChildren; ++i) n.addChild("c").addText("t");
        };
        std::thread t0(grow, a);
        std::thread t1(grow, b);
        t0.join();
        t1.join();
        std::set<const Record*> records;
        for (const XMLNode* n : {&a, &b}) {
            ASSERT_EQ(checkTree(*n), "");
            for (int i = 0; i < kChildren; ++i) records.insert(rec(childAt(*n, i)));
        }
        EXPECT_EQ(records.size(), 2u * kChildren);  // no piece handed out twice
        a = XMLNode();
        b = XMLNode();
        EXPECT_EQ(liveBlocks(), blocksBefore) << "round " << round;
    }
}

TEST(XmlRecordPool, LargeArraysGetABlockOfTheirOwn) {
    XMLNode root = parsed(manyElements(2000).c_str());
    XMLNode first = childAt(root, 0);
    XMLNodeAccess::addChild(root, 0, stringDup("n"), 0, 0);  // separates the big arrays
    EXPECT_EQ(rec(root)->arrays, nullptr);
    EXPECT_EQ(rec(root)->childCount, 2001);
    EXPECT_EQ(dump(childAt(root, 1)), expectedElement(0));
    root = XMLNode();
    EXPECT_EQ(dump(first), expectedElement(0));
}

}  // namespace

#ifdef SECNATIVE_XML_ASAN
// The sanitizer must see a released piece as gone, arrays and records alike.
TEST(XmlRecordPoolDeathTest, ReleasedPiecesArePoisoned) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto readAfterRelease = [](bool arrays) {
        XMLNode a = parsed("<a><b/><c/><d/></a>");
        XMLNode kept = childAt(a, 2);  // keeps the blocks alive
        volatile const char* piece = arrays ? reinterpret_cast<const char*>(rec(a)->children)
                                            : reinterpret_cast<const char*>(rec(childAt(a, 0)));
        a = XMLNode();
        return static_cast<int>(*piece);
    };
    EXPECT_DEATH(readAfterRelease(true), "use-after-poison");
    EXPECT_DEATH(readAfterRelease(false), "use-after-poison");
}
#endif
