// Parser: documents and the trees, codes and positions they give, the
// recovery from mismatched end tags, the options and the choice of result.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/guarded_bytes.h"
#include "support/printable.h"
#include "support/xml_test_util.h"
#include "xml/xml_block_scan.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parse_run.h"

namespace {

using xmltest::dump;
using xmltest::parse;
using xmltest::rec;

struct ParseCase {
    const char* text;
    const char* tag;
    std::string tree;  // dump() of the result
    XMLError error;
    int line;  // -7: not written (no error)
    int column;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << secnative::test::quoted(c.text);
    if (c.tag) *os << " for tag " << secnative::test::quoted(c.tag);
}

class ParseDocument : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseDocument, Parse) {
    const ParseCase& c = GetParam();
    xmltest::ParseOutcome got = parse(c.text, c.tag);
    EXPECT_EQ(got.tree, c.tree) << c.text;
    EXPECT_EQ(got.error, c.error) << c.text;
    EXPECT_EQ(got.line, c.line) << c.text;
    EXPECT_EQ(got.column, c.column) << c.text;
}

const int kUnset = -7;

INSTANTIATE_TEST_SUITE_P(
    Documents, ParseDocument,
    ::testing::Values(
        ParseCase{"", NULL, "#", warningNoXMLTag, 1, 1},
        ParseCase{"just text", NULL, "#{'just text'}", warningNoXMLTag, 1, 10},
        ParseCase{"  <a/>  ", NULL, "a", errorNone, kUnset, kUnset},
        ParseCase{"<a/>text", NULL, "#{a,'text'}", errorNone, kUnset, kUnset},
        ParseCase{"<a/><b/>", NULL, "#{a,b}", errorNone, kUnset, kUnset},
        ParseCase{"<a/><b/>", "B", "b", errorNone, kUnset, kUnset},
        ParseCase{"<a><b/></a>", "a", "a{b}", errorNone, kUnset, kUnset},
        ParseCase{"<a><b/></a>", "b", "b", errorNone, kUnset, kUnset},
        ParseCase{"<a><b><c/></b></a>", "c", "(empty)", errorFirstTagNotFound, 0, 0},
        ParseCase{"<A></a>", NULL, "A", errorNone, kUnset, kUnset},
        ParseCase{"<a> x  y\n</a>", NULL, "a{'x  y'}", errorNone, kUnset, kUnset},
        ParseCase{"<a>x<!--c-->y<!--d-->z</a>", NULL, "a{'xyz'}", errorNone, kUnset, kUnset},
        ParseCase{"<a><!--c-->y</a>", NULL, "a{!<!--|c|-->,'y'}", errorNone, kUnset, kUnset},
        ParseCase{"<a>x<![CDATA[c]]>y</a>", NULL, "a{'x',!<![CDATA[|c|]]>,'y'}", errorNone, kUnset,
                  kUnset},
        ParseCase{"<a><![CDATA[<b>&amp;]]></a>", NULL, "a{!<![CDATA[|<b>&amp;|]]>}", errorNone,
                  kUnset, kUnset},
        ParseCase{"<a><PRE> x </PRE><pre/></a>", NULL, "a{!<PRE>| x |</PRE>,pre}", errorNone,
                  kUnset, kUnset},
        ParseCase{"<!DOCTYPE a><a/>", NULL, "#{!<!DOCTYPE| a|>,a}", errorNone, kUnset, kUnset},
        ParseCase{"<!DOCTYPE a [<!ENTITY x \"y\">]><a/>", NULL,
                  "#{!<!DOCTYPE| a [<!ENTITY x \"y\">|]>,a}", errorNone, kUnset, kUnset},
        // Whitespace may stand between the subset's "]" and the ">"; a later
        // "]]>" must not pull the document into the DOCTYPE.
        ParseCase{"<!DOCTYPE a [<!ELEMENT a ANY>] \n><a/>", NULL,
                  "#{!<!DOCTYPE| a [<!ELEMENT a ANY>|]>,a}", errorNone, kUnset, kUnset},
        ParseCase{"<!DOCTYPE a [<!ELEMENT a ANY>]\t><a><![CDATA[x]]></a>", NULL,
                  "#{!<!DOCTYPE| a [<!ELEMENT a ANY>|]>,a{!<![CDATA[|x|]]>}}", errorNone, kUnset,
                  kUnset},
        ParseCase{"<!DOCTYPE a [<!ENTITY x \"]\">]><a/>", NULL,
                  "#{!<!DOCTYPE| a [<!ENTITY x \"]\">|]>,a}", errorNone, kUnset, kUnset},
        ParseCase{"<a x y=1 z=\"&lt;\" w='v' x='2'/>", NULL, "a[x,y=1,z=<,w=v,x=2]", errorNone,
                  kUnset, kUnset},
        ParseCase{"<a x=1/>", NULL, "a[x=1]", errorNone, kUnset, kUnset},
        ParseCase{"<a x=&lt;b>t</a>", NULL, "a[x=<b]{'t'}", errorNone, kUnset, kUnset},
        ParseCase{"<a&amp; k=''/>", NULL, "a&amp;[k=]", errorNone, kUnset, kUnset},
        ParseCase{"<a>&lt;&#65;&#x42;</a>", NULL, "a{'<AB'}", errorNone, kUnset, kUnset},
        ParseCase{"<a>x > y = 'z'</a>", NULL, "a{'x > y = 'z''}", errorNone, kUnset, kUnset},
        // declarations: a top-level one holds the rest of the document
        ParseCase{"<?xml version=\"1.0\"?><root><x/></root>", NULL, "?xml[version=1.0]{root{x}}",
                  errorNone, kUnset, kUnset},
        ParseCase{"<?xml version=\"1.0\"?><root/>", "root", "root", errorNone, kUnset, kUnset},
        ParseCase{"<?xml version=1.0?><r/>", NULL, "?xml[version=1.0]{r}", errorNone, kUnset,
                  kUnset},
        ParseCase{"<a><?pi x?><b/></a>", NULL, "a{?pi[x],b}", errorNone, kUnset, kUnset},
        ParseCase{"<a><?pi ?><b/></a>", NULL, "a{?pi,b}", errorNone, kUnset, kUnset},
        ParseCase{"<?xml version=\"1.0\"?><a>", NULL, "?xml[version=1.0]{a}",
                  warningUnmatchedEndTag, 1, 25},
        // failures give an empty node and the position where parsing stopped
        // no element at all: code 2 replaces whatever the parse reported
        ParseCase{"<>", NULL, "#", warningNoXMLTag, 1, 3},
        ParseCase{"<a><=b/>", NULL, "(empty)", errorMissingStartTagName, 1, 6},
        ParseCase{"<a>< /a>", NULL, "a{/a}", warningUnmatchedEndTag, 1, 9},
        ParseCase{"<a></>", NULL, "(empty)", errorMissingEndTagName, 1, 7},
        ParseCase{"<a></a", NULL, "(empty)", errorMissingEndTagName, 1, 7},
        ParseCase{"<a><!-- x</a>", NULL, "(empty)", errorUnmatchedClearTagEnd, 1, 8},
        ParseCase{"<a><!DOCTYPE x", NULL, "(empty)", errorUnmatchedClearTagEnd, 1, 13},
        ParseCase{"<a><!DOCTYPE x [<!ENTITY y>", NULL, "(empty)", errorUnmatchedClearTagEnd, 1, 13},
        ParseCase{"<a \"x\"/>", NULL, "(empty)", errorUnexpectedToken, 1, 7},
        ParseCase{"<a x=>", NULL, "(empty)", errorUnexpectedToken, 1, 7},
        ParseCase{"<a x==1>", NULL, "(empty)", errorUnexpectedToken, 1, 7},
        ParseCase{"<a>&nbsp;</a>", NULL, "(empty)", errorUnknownCharacterEntity, 1, 12},
        ParseCase{"<a x='&#300;'/>", NULL, "(empty)", errorCharacterCodeAbove255, 1, 14},
        ParseCase{"<a>\xC3\xA9&#999999999999;<b/></a>", NULL, "(empty)", errorCharacterCodeAbove255,
                  1, 21}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

// Recovery from end tags that close more than one element: the code, and the
// line and column just behind the end tag that did not match.
INSTANTIATE_TEST_SUITE_P(
    Recovery, ParseDocument,
    ::testing::Values(
        ParseCase{"<a><b></a>", NULL, "a{b}", warningUnmatchedEndTag, 1, 11},
        ParseCase{"<a>\n  <b>\n</a>", NULL, "a{b}", warningUnmatchedEndTag, 3, 5},
        ParseCase{"<a><b><c></B></a>", NULL, "a{b{c}}", warningUnmatchedEndTag, 1, 14},
        ParseCase{"<a><b><c></A>", NULL, "a{b{c}}", warningUnmatchedEndTag, 1, 14},
        ParseCase{"<a><b><c></A><d/>", NULL, "#{a{b{c}},d}", warningUnmatchedEndTag, 1, 14},
        ParseCase{"<a><b>x</a>y", NULL, "#{a{b{'x'}},'y'}", warningUnmatchedEndTag, 1, 12},
        ParseCase{"<a></b></a>", NULL, "(empty)", errorUnmatchedEndTag, 1, 8},
        ParseCase{"<a><b></c></a>", NULL, "(empty)", errorUnmatchedEndTag, 1, 11},
        ParseCase{"<a>\xC3\xA9</b>", NULL, "(empty)", errorUnmatchedEndTag, 1, 9},
        // an end tag at the top level ends the parse
        ParseCase{"</a>", NULL, "#", warningNoXMLTag, 1, 5},
        ParseCase{"<a/></b><c/>", NULL, "a", warningUnmatchedEndTag, 1, 9},
        ParseCase{"<a>", NULL, "a", warningUnmatchedEndTag, 1, 4},
        ParseCase{"<a>\n<b>x", NULL, "a{b{'x'}}", warningUnmatchedEndTag, 2, 5},
        ParseCase{"<a x='1'", NULL, "a[x=1]", warningUnmatchedEndTag, 1, 9},
        ParseCase{"<a x", NULL, "a", warningUnmatchedEndTag, 1, 5},
        // end tags that begin like the open element's name, or spell it
        // another way, and a name that starts with a quote
        ParseCase{"<ab><a></ab>", NULL, "ab{a}", warningUnmatchedEndTag, 1, 13},
        ParseCase{"<a><b></b ></a>", NULL, "a{b}", errorNone, kUnset, kUnset},
        ParseCase{"<a><b></B></a>", NULL, "a{b}", errorNone, kUnset, kUnset},
        ParseCase{"<r><\"b>x</\"b></r>", NULL, "r{\"b{'x'}}", errorNone, kUnset, kUnset}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

TEST(ParseApi, NullTextGivesCodeNine) {
    XMLResults results = {errorNone, -7, -7};
    XMLNode node = XMLNode::parseString(NULL, "a", &results);
    EXPECT_TRUE(node.isEmpty());
    EXPECT_EQ(results.error, errorNoElements);
    EXPECT_EQ(results.line, 0);
    EXPECT_EQ(results.column, 0);
    EXPECT_TRUE(XMLNode::parseString(NULL).isEmpty());  // results are optional
}

TEST(ParseApi, ReturnedElementIsATopNodeOfItsOwn) {
    XMLNode a = XMLNode::parseString("  <a><b/></a>  ");
    ASSERT_FALSE(a.isEmpty());
    EXPECT_EQ(rec(a)->parent, nullptr);
    EXPECT_EQ(rec(a)->refCount, 1);
    EXPECT_EQ(xmltest::checkTree(a), "");
    XMLNode b = XMLNode::parseString("<a/><b><c/></b>", "b");
    EXPECT_EQ(rec(b)->parent, nullptr);
    EXPECT_EQ(rec(b)->refCount, 1);
    EXPECT_EQ(dump(b), "b{c}");
}

TEST(ParseApi, ElementsOfOneParseReleasedInAnyOrder) {
    // The records of one parse share blocks; every order of release must
    // free each block exactly once (checked by the sanitizer build).
    std::string doc = "<r>";
    for (int i = 0; i < 100; ++i)
        doc += "<c" + std::to_string(i) + "><g/></c" + std::to_string(i) + ">";
    doc += "</r>";
    std::vector<XMLNode> kept;
    {
        XMLNode root = XMLNode::parseString(doc.c_str());
        ASSERT_EQ(rec(root)->childCount, 100);
        for (int i = 0; i < 100; i += 7) {
            kept.push_back(XMLNodeAccess::handle(rec(rec(root)->children[i])));
            kept.push_back(XMLNodeAccess::handle(rec(rec(rec(root)->children[i])->children[0])));
        }
    }
    for (size_t i = 0; i < kept.size(); i += 2) kept[i] = XMLNode();
    EXPECT_EQ(dump(kept[1]), "g");
    EXPECT_EQ(rec(kept[1])->parent, nullptr);
    for (size_t i = kept.size(); i-- > 0;) kept[i] = XMLNode();
}

TEST(ParseApi, ParsedArraysAreTrimmedToTheirCounts) {
    XMLNode a = XMLNode::parseString("<a x='1'><b/>t<!--c--><b/>u</a>", NULL);
    xmltest::Record* r = rec(a);
    EXPECT_EQ(dump(a), "a[x=1]{b,'t',!<!--|c|-->,b,'u'}");
    EXPECT_EQ(r->childCount, 2);
    EXPECT_EQ(r->textCount, 2);
    EXPECT_EQ(r->clearCount, 1);
    EXPECT_EQ(r->attributeCount, 1);
    EXPECT_EQ(xmltest::checkTree(a), "");
}

TEST(ParseOptions, WhitespaceKeptWhenNotDropped) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 0, 1);
    EXPECT_EQ(parse("<a> x <b/>\n</a>").tree, "a{' x ',b,'\n'}");
    EXPECT_EQ(parse(" <a/>").tree, "#{' ',a}");
}

TEST(ParseOptions, CommentsKeptWhenNotRemoved) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 1, 0);
    EXPECT_EQ(parse("<a>x<!--c-->y</a>").tree, "a{'x',!<!--|c|-->,'y'}");
}

TEST(ParseOptions, ShiftJisSecondBytesAreNotMarkup) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(XMLNode::encodingShiftJIS);
    // 0x83 0x3C is one character whose second byte reads as "<".
    xmltest::ParseOutcome got = parse("<a>\x83<\x83<</a>");
    EXPECT_EQ(got.tree, "a{'\x83<\x83<'}");
    EXPECT_EQ(got.error, errorNone);
    // The same after a long run of one-byte characters.
    got = parse("<a>0123456789abcdefghijklmnopqrstuvwxyz\x83<\x83<</a>");
    EXPECT_EQ(got.tree, "a{'0123456789abcdefghijklmnopqrstuvwxyz\x83<\x83<'}");
    // Columns count characters: two two-byte characters are two columns.
    got = parse("<a>\x83<\x83<</b>");
    EXPECT_EQ(got.error, errorUnmatchedEndTag);
    EXPECT_EQ(got.column, 10);
}

// The search for the end of a clear block finds what strstr finds, at every
// alignment, and reads nothing past the text's NUL (the copies end at a
// guard page).
TEST(ParseLimits, ClearBlockEndIsFoundAsStrstrFindsIt) {
    const struct {
        const char* text;
        const char* needle;
    } cases[] = {
        {"-->", "-->"},         {"a -->", "-->"},  {"a --->", "-->"},
        {"a -- > -->x", "-->"}, {"a --", "-->"},   {"", "-->"},
        {"]]]]>", "]]>"},       {"x]]", "]]>"},    {"<b></a>", ">"},
        {"no end here", "-->"}, {"-->-->", "-->"}, {"\xE3\x80-->", "-->"},
    };
    for (const auto& c : cases) {
        for (size_t pad = 0; pad < 17; ++pad) {
            const std::string text = std::string(pad, 'p') + c.text;
            secnative::test::GuardedBytes copy(text, true);
            const char* expected = std::strstr(copy.chars(), c.needle);
            EXPECT_EQ(secnative::xml::findText(copy.chars(), c.needle), expected)
                << quoted(text) << " " << c.needle;
        }
    }
}

TEST(ParseLimits, DocumentEndingInsideMarkupIsNotReadPastItsEnd) {
    // Exact copies ending at a guard page: a read past the NUL faults.
    const char* texts[] = {"<a><!-", "<a><![CDATA", "<a>\xE3", "<a x='\xF0", "<a>\xF0\x9F</a"};
    for (const char* text : texts) {
        secnative::test::GuardedBytes exact(text, true);
        XMLResults results;
        XMLNode::parseString(exact.chars(), NULL, &results);
        EXPECT_NE(results.error, errorNone) << text;
    }
}

// Texts longer than INT_MAX exist only where objects may exceed 2 GiB, that
// is with a 64-bit address space.
#if SIZE_MAX > UINT32_MAX
// Maps a text of INT_MAX + 2 bytes of "a" (then a NUL) without spending
// 2 GiB of memory: one small shared block of "a" is mapped over and over,
// and the last mapping carries the terminating NUL.
class HugeText {
  public:
    HugeText() {
        const size_t chunks = (static_cast<size_t>(INT_MAX) + 1) / kChunk;
        int fill = makeBlock(false);
        int last = makeBlock(true);
        size_t total = (chunks + 1) * kChunk;
        void* area = mmap(NULL, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        bool ok = fill >= 0 && last >= 0 && area != MAP_FAILED;
        char* base = static_cast<char*>(area);
        for (size_t i = 0; ok && i <= chunks; ++i) {
            void* at = mmap(base + i * kChunk, kChunk, PROT_READ,
                            MAP_SHARED | MAP_FIXED | MAP_POPULATE, i < chunks ? fill : last, 0);
            ok = at != MAP_FAILED;
        }
        if (fill >= 0) close(fill);
        if (last >= 0) close(last);
        if (area == MAP_FAILED) return;
        if (!ok) {
            munmap(area, total);
            return;
        }
        text_ = base;
        size_ = total;
    }
    HugeText(const HugeText&) = delete;
    HugeText& operator=(const HugeText&) = delete;
    ~HugeText() {
        if (text_) munmap(text_, size_);
    }
    const char* get() const { return text_; }

  private:
    static constexpr size_t kChunk = 16u << 20;

    // A shared block of "a"; with end set, its second byte is the NUL.
    static int makeBlock(bool end) {
        int fd = memfd_create("xml-huge-text", 0);
        if (fd < 0 || ftruncate(fd, kChunk) != 0) return -1;
        void* map = mmap(NULL, kChunk, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) return -1;
        std::memset(map, 'a', kChunk);
        if (end) static_cast<char*>(map)[1] = 0;
        munmap(map, kChunk);
        return fd;
    }

    char* text_ = NULL;
    size_t size_ = 0;
};

// After a parse the thread keeps little scratch memory, however large the
// document was: 64 KiB at most, and still some for the next small parse.
TEST(ParseLimits, ThreadKeepsLittleScratchBetweenParses) {
    std::string wide = "<w>";
    for (int i = 0; i < 100000; ++i) wide += "<i a='1'>t<!--c--></i>";
    wide += "</w>";
    std::string deep;
    for (int i = 0; i < 50000; ++i) deep += "<d>";
    for (int i = 0; i < 50000; ++i) deep += "</d>";
    for (const std::string* text : {&wide, &deep}) {
        XMLResults results;
        XMLNode::parseString(text->c_str(), NULL, &results);
        ASSERT_EQ(results.error, errorNone);
        EXPECT_LE(secnative::xml::threadScratchBytes(), size_t{64} << 10);
    }
    XMLNode::parseString("<a><b x='1'>t</b></a>");
    EXPECT_GT(secnative::xml::threadScratchBytes(), 0u);
}

TEST(ParseLimits, TextsLongerThanIntMaxAreRefused) {
    HugeText text;
    if (!text.get()) GTEST_SKIP() << "cannot map a 2 GiB text";
    const size_t length = static_cast<size_t>(INT_MAX) + 2;
    ASSERT_EQ(text.get()[length - 1], 'a');
    ASSERT_EQ(text.get()[length], 0);
    XMLResults results = {errorNone, -7, -7};
    XMLNode node = XMLNode::parseString(text.get(), NULL, &results);
    EXPECT_TRUE(node.isEmpty());
    EXPECT_EQ(results.error, errorNoXMLData);
    EXPECT_EQ(results.line, 0);
    EXPECT_EQ(results.column, 0);
}

#endif  // SIZE_MAX > UINT32_MAX

}  // namespace
