// Tokenizer and entity decoding. Inputs are copied into blocks of exactly
// their size that end at a guard page, so that any read past the
// terminating NUL faults, in every build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/guarded_bytes.h"
#include "support/printable.h"
#include "support/xml_test_util.h"
#include "xml/xml_entities.h"
#include "xml/xml_tokenizer.h"

namespace {

using namespace secnative::xml;
using secnative::test::GuardedBytes;
using secnative::test::quoted;

// The tokens of text as "kind:text" strings (kinds as numbers of
// XMLTokenTypeTag; a clear token shows its row's opening delimiter).
std::vector<std::string> tokenize(const std::string& text) {
    GuardedBytes doc(text, true);
    XML state = {};
    state.document = doc.chars();
    std::vector<std::string> out;
    for (int guard = 0; guard < 100; ++guard) {
        int length = -1;
        XMLTokenTypeTag type;
        NextToken token = GetNextToken(&state, &length, &type);
        if (type == tokenEnd) {
            EXPECT_EQ(token.token, nullptr);
            EXPECT_EQ(length, 0);
            out.push_back("end");
            break;
        }
        if (type == tokenClear) {
            out.push_back("clear:" + std::string(token.clear->openDelimiter) + "@" +
                          std::to_string(state.position));
            continue;
        }
        out.push_back(std::to_string(type) + ":" + std::string(token.token, length));
    }
    return out;
}

struct TokenCase {
    XMLNode::XMLCharEncoding encoding;
    const char* text;
    std::vector<std::string> tokens;
};

void PrintTo(const TokenCase& c, std::ostream* os) {
    *os << quoted(c.text) << " in " << xmltest::encodingName(c.encoding);
}

class XmlTokenizer : public ::testing::TestWithParam<TokenCase> {};

TEST_P(XmlTokenizer, Tokens) {
    xmltest::OptionsGuard guard;
    XMLNode::setGlobalOptions(GetParam().encoding);
    EXPECT_EQ(tokenize(GetParam().text), GetParam().tokens) << GetParam().text;
}

// Kinds: 0 text, 1 quoted, 2 "<", 3 "</", 4 ">", 5 "=", 6 "<?", 7 "/>".
const XMLNode::XMLCharEncoding kUtf8 = XMLNode::encodingUTF8;
INSTANTIATE_TEST_SUITE_P(
    Cases, XmlTokenizer,
    ::testing::Values(TokenCase{kUtf8, "  <a>", {"2:<", "0:a", "4:>", "end"}},
                      TokenCase{kUtf8, "</a >", {"3:</", "0:a", "4:>", "end"}},
                      TokenCase{kUtf8, "<a/>", {"2:<", "0:a", "7:/>", "end"}},
                      TokenCase{kUtf8,
                                "<?xml v=\"1\"?>",
                                {"6:<?", "0:xml", "0:v", "5:=", "1:\"1\"", "0:?", "4:>", "end"}},
                      // an unterminated value becomes text that ends before the "<"
                      TokenCase{kUtf8, "x='abc<b", {"0:x", "5:=", "0:'abc", "2:<", "0:b", "end"}},
                      TokenCase{kUtf8, "'ab cd", {"0:'ab", "0:cd", "end"}},
                      TokenCase{kUtf8, "\"ab\"cd x\"y", {"1:\"ab\"", "0:cd", "0:x\"y", "end"}},
                      TokenCase{kUtf8, "a/b /c =>", {"0:a/b", "0:/c", "5:=", "4:>", "end"}},
                      TokenCase{kUtf8, "<!-- c -->", {"clear:<!--@4", "0:c", "0:--", "4:>", "end"}},
                      TokenCase{kUtf8, "<![CDATA[x", {"clear:<![CDATA[@9", "0:x", "end"}},
                      TokenCase{kUtf8, "<!DOCTYPE", {"clear:<!DOCTYPE@9", "end"}},
                      TokenCase{kUtf8, "<PRE>", {"clear:<PRE>@5", "end"}},
                      TokenCase{kUtf8, "<pre>", {"2:<", "0:pre", "4:>", "end"}},
                      // a document that ends inside a clear delimiter
                      TokenCase{kUtf8, "<!-", {"2:<", "0:!-", "end"}},
                      TokenCase{kUtf8, "<![CDA", {"2:<", "0:![CDA", "end"}},
                      // a multibyte character cut short by the end stops at the NUL
                      TokenCase{kUtf8, "a\xE3", {"0:a\xE3", "end"}},
                      TokenCase{kUtf8, "\xF0\x9F", {"0:\xF0\x9F", "end"}},
                      TokenCase{kUtf8, "'\xE3", {"0:'\xE3", "end"}},
                      TokenCase{kUtf8, " \xE3", {"0:\xE3", "end"}},
                      // the second byte of a Shift-JIS character is never markup
                      TokenCase{XMLNode::encodingShiftJIS, "\x81<x y", {"0:\x81<x", "0:y", "end"}},
                      TokenCase{XMLNode::encodingShiftJIS, "\xE0 a", {"0:\xE0 a", "end"}},
                      TokenCase{XMLNode::encodingShiftJIS, "\xA0<", {"0:\xA0", "2:<", "end"}},
                      TokenCase{XMLNode::encodingLegacy, "\x81<x", {"0:\x81", "2:<", "0:x", "end"}},
                      TokenCase{
                          XMLNode::encodingGB2312, "\xA1>\xA0>", {"0:\xA1>\xA0", "4:>", "end"}},
                      TokenCase{XMLNode::encodingBig5, "\x81\x3D=", {"0:\x81=", "5:=", "end"}}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

TEST(XmlTokenizerState, CommentLeavesPositionBehindItsDelimiter) {
    XML state = {};
    state.document = "  <!-- x -->";
    int length = 42;
    XMLTokenTypeTag type;
    NextToken token = GetNextToken(&state, &length, &type);
    EXPECT_EQ(type, tokenClear);
    EXPECT_EQ(token.clear, &XMLClearTags[kClearTagComment]);
    EXPECT_EQ(token.token, state.document + 2);
    EXPECT_EQ(state.position, 6);
    EXPECT_EQ(length, 42);  // left unchanged for clear tokens
}

TEST(XmlTokenizerState, EndOfInputKeepsPositionOnTheNul) {
    XML state = {};
    state.document = "a \t\r\n";
    int length;
    XMLTokenTypeTag type;
    GetNextToken(&state, &length, &type);
    EXPECT_EQ(state.position, 2);
    GetNextToken(&state, &length, &type);
    EXPECT_EQ(type, tokenEnd);
    EXPECT_EQ(state.position, 5);
    GetNextToken(&state, &length, &type);
    EXPECT_EQ(state.position, 5);
}

// ---- Entities ----------------------------------------------------------

struct EntityCase {
    const char* text;
    int length;  // -1: the whole text
    XMLError error;
    std::string decoded;
};

void PrintTo(const EntityCase& c, std::ostream* os) {
    *os << quoted(c.text);
    if (c.length >= 0) *os << " with length " << c.length;
}

class XmlEntities : public ::testing::TestWithParam<EntityCase> {};

TEST_P(XmlEntities, Decode) {
    const EntityCase& c = GetParam();
    GuardedBytes text(c.text, true);
    int length = c.length < 0 ? static_cast<int>(std::strlen(c.text)) : c.length;
    XML state = {};
    char* decoded = fromXMLString(text.chars(), length, &state);
    EXPECT_EQ(state.error, c.error) << c.text;
    if (c.error == errorNone) {
        ASSERT_NE(decoded, nullptr) << c.text;
        EXPECT_EQ(std::string(decoded), c.decoded) << c.text;
    } else {
        EXPECT_EQ(decoded, nullptr) << c.text;
    }
    std::free(decoded);
}

// The parser decodes texts and values in one pass and falls back to
// fromXMLString on a bad reference: results and error codes must agree.
// Its callers never pass a NUL within the length.
TEST_P(XmlEntities, ParserDecodingAgrees) {
    const EntityCase& c = GetParam();
    int length = c.length < 0 ? static_cast<int>(std::strlen(c.text)) : c.length;
    if (static_cast<size_t>(length) > std::strlen(c.text)) GTEST_SKIP();
    GuardedBytes text(c.text, true);
    XML state = {};
    char* decoded = secnative::xml::decodeText(text.chars(), length, &state);
    EXPECT_EQ(state.error, c.error) << c.text;
    if (c.error == errorNone) {
        ASSERT_NE(decoded, nullptr) << c.text;
        EXPECT_EQ(std::string(decoded), c.decoded) << c.text;
    } else {
        EXPECT_EQ(decoded, nullptr) << c.text;
    }
    std::free(decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlEntities,
    ::testing::Values(EntityCase{"&amp;&lt;&gt;&quot;&apos;", -1, errorNone, "&<>\"'"},
                      EntityCase{"x&AMP;y&Lt;", -1, errorNone, "x&y<"},
                      EntityCase{"&#65;&#x41;&#X41;&#x7a;", -1, errorNone, "AAAz"},
                      EntityCase{"&#255;&#1;", -1, errorNone, "\xFF\x01"},
                      EntityCase{"&#0065;", -1, errorNone, "A"},
                      EntityCase{"plain text", -1, errorNone, "plain text"},
                      EntityCase{"abc", 2, errorNone, "ab"}, EntityCase{"", -1, errorNone, ""},
                      EntityCase{"&#256;", -1, errorCharacterCodeAbove255, ""},
                      EntityCase{"&#x100;", -1, errorCharacterCodeAbove255, ""},
                      // many digits never overflow into a small value
                      EntityCase{"&#4294967361;", -1, errorCharacterCodeAbove255, ""},
                      EntityCase{"&#18446744073709551681;", -1, errorCharacterCodeAbove255, ""},
                      EntityCase{"&#x10000000000000041;", -1, errorCharacterCodeAbove255, ""},
                      EntityCase{"&#99999999999999999999999999999999999999;", -1,
                                 errorCharacterCodeAbove255, ""},
                      EntityCase{"&#6a;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&#x4G;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&#-1;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&nbsp;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"a & b", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&amp", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&#65", -1, errorUnknownCharacterEntity, ""},
                      // the ";" lies beyond the given length
                      EntityCase{"&#65;", 4, errorUnknownCharacterEntity, ""},
                      EntityCase{"&amp;", 4, errorUnknownCharacterEntity, ""},
                      // the measuring pass finds unknown entities before values are read
                      EntityCase{"&#300;&nbsp;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&#300;&amp;", -1, errorCharacterCodeAbove255, ""},
                      // a reference without digits or of value 0 would cut the text short
                      EntityCase{"a&#;b", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"a&#x;b", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"a&#0;b", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"a&#x00;b", -1, errorUnknownCharacterEntity, ""},
                      // multibyte characters cut short by the length or by the end
                      EntityCase{"\xE3\x81\x82", 2, errorNone, "\xE3\x81"},
                      EntityCase{"x\xE3", 9, errorNone, "x\xE3"},
                      EntityCase{"&amp;\xF0\x9F", 9, errorNone, "&\xF0\x9F"},
                      // a whole multibyte character is copied as one
                      EntityCase{"\xC3\xA9&lt;", -1, errorNone, "\xC3\xA9<"},
                      // a lead byte takes an "&" with it as its second byte
                      EntityCase{"\xC3&amp;", -1, errorNone, "\xC3&amp;"},
                      EntityCase{"a\xC3&lt;&lt;", -1, errorNone, "a\xC3&lt;<"},
                      // entity names fold case letter by letter; nothing else folds
                      EntityCase{"&ApOs;&QUOT;&gT;", -1, errorNone, "'\">"},
                      EntityCase{"&amp ;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&a\x4Dp;", -1, errorNone, "&"},
                      EntityCase{"&a\x0Dp;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&apo", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&quot", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&lt", -1, errorUnknownCharacterEntity, ""},
                      // a bad value is reported after the whole text has been measured
                      EntityCase{"&#x4G;&#300;", -1, errorUnknownCharacterEntity, ""},
                      EntityCase{"&#300;&#x4G;", -1, errorCharacterCodeAbove255, ""},
                      EntityCase{"ok &#65;&#300; &#65", -1, errorUnknownCharacterEntity, ""}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

TEST(XmlEntitiesApi, LongTextsDecodeLikeShortOnes) {
    // Longer than the parser's decoding buffer on the stack.
    std::string text;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        text += "&lt;x&#65;";
        expected += "<xA";
    }
    XML state = {};
    char* decoded = secnative::xml::decodeText(text.c_str(), static_cast<int>(text.size()), &state);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(std::string(decoded), expected);
    std::free(decoded);
    text += "&#999;";
    decoded = secnative::xml::decodeText(text.c_str(), static_cast<int>(text.size()), &state);
    EXPECT_EQ(decoded, nullptr);
    EXPECT_EQ(state.error, errorCharacterCodeAbove255);
}

TEST(XmlEntitiesApi, NullTextGivesNullWithoutError) {
    XML state = {};
    EXPECT_EQ(fromXMLString(NULL, 5, &state), nullptr);
    EXPECT_EQ(state.error, errorNone);
}

TEST(XmlEntitiesApi, LeadByteSwallowsAnAmpersandLikeAnyByte) {
    // Stepping is by characters: a lead byte takes the next byte with it,
    // even when that byte is "&".
    XML state = {};
    char* decoded = fromXMLString("\xC3&amp;", 6, &state);
    ASSERT_NE(decoded, nullptr);
    EXPECT_STREQ(decoded, "\xC3&amp;");
    std::free(decoded);
}

}  // namespace
