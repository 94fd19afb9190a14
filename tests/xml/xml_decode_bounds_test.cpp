// Entity decoding at the edges of its input. Texts are handed over in blocks
// of exactly their length with no NUL behind them, ending at a guard page, so
// that any read past the length faults, in every build; the outcome must
// be the one the same call gives on a NUL-terminated copy. And a text with
// several faulty references reports one code whatever order they come in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "support/guarded_bytes.h"
#include "support/printable.h"
#include "support/xml_test_util.h"
#include "xml/xml_entities.h"

namespace {

using Outcome = xmltest::DecodeOutcome;
using xmltest::outcomeOf;

// The first length bytes of text in a block of exactly that size, no NUL.
Outcome decodeExact(const std::string& text, size_t length, bool parserPath) {
    secnative::test::GuardedBytes block(std::string_view(text.data(), length));
    XML state = {};
    int n = static_cast<int>(length);
    char* result = parserPath ? secnative::xml::decodeText(block.chars(), n, &state)
                              : fromXMLString(block.chars(), n, &state);
    return outcomeOf(result, state);
}

// The same bytes, NUL-terminated.
Outcome decodeTerminated(const std::string& text, size_t length) {
    std::string copy(text, 0, length);
    XML state = {};
    return outcomeOf(fromXMLString(copy.c_str(), static_cast<int>(length), &state), state);
}

struct BoundsCase {
    XMLNode::XMLCharEncoding encoding;
    const char* text;
    XMLError error;       // for the whole text
    const char* decoded;  // for the whole text, when error is errorNone
};

void PrintTo(const BoundsCase& c, std::ostream* os) {
    static const char* const kNames[] = {"error",  "UTF-8", "legacy", "Shift-JIS",
                                         "GB2312", "Big5",  "GBK"};
    *os << secnative::test::quoted(c.text) << " in " << kNames[c.encoding];
}

class XmlDecodeBounds : public ::testing::TestWithParam<BoundsCase> {};

// Every cut of the text, so that each one ends inside an entity, a
// reference or a multibyte character somewhere.
TEST_P(XmlDecodeBounds, EveryCutStaysInsideItsLength) {
    const BoundsCase& c = GetParam();
    xmltest::OptionsGuard restore;
    ASSERT_EQ(XMLNode::setGlobalOptions(c.encoding), 0);
    std::string text(c.text);
    Outcome whole{c.error == errorNone, c.error == errorNone ? c.decoded : "", c.error};
    EXPECT_EQ(decodeExact(text, text.size(), false), whole);
    for (size_t length = 0; length <= text.size(); ++length) {
        Outcome expected = decodeTerminated(text, length);
        EXPECT_EQ(decodeExact(text, length, false), expected) << "cut at " << length;
        EXPECT_EQ(decodeExact(text, length, true), expected) << "parser, cut at " << length;
    }
}

constexpr XMLNode::XMLCharEncoding kUtf8 = XMLNode::encodingUTF8;
constexpr XMLError kUnknown = errorUnknownCharacterEntity;

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlDecodeBounds,
    ::testing::Values(
        BoundsCase{kUtf8, "&", kUnknown, ""}, BoundsCase{kUtf8, "&a", kUnknown, ""},
        BoundsCase{kUtf8, "&am", kUnknown, ""}, BoundsCase{kUtf8, "&amp", kUnknown, ""},
        BoundsCase{kUtf8, "&#", kUnknown, ""}, BoundsCase{kUtf8, "&#x4", kUnknown, ""},
        BoundsCase{kUtf8, "x&#65;&apos", kUnknown, ""},
        BoundsCase{kUtf8, "plain text", errorNone, "plain text"},
        BoundsCase{kUtf8, "&quot;&#x41;&apos;", errorNone, "\"A'"},
        // multibyte characters cut by the end of the block
        BoundsCase{kUtf8, "ab\xC3", errorNone, "ab\xC3"},
        BoundsCase{kUtf8, "ab\xF0", errorNone, "ab\xF0"},
        BoundsCase{kUtf8, "&amp;\xF0\x9F\x98", errorNone, "&\xF0\x9F\x98"},
        BoundsCase{kUtf8, "\xE3\x81\x82&lt;\xE3\x81", errorNone, "\xE3\x81\x82<\xE3\x81"},
        BoundsCase{kUtf8, "\xC3&", errorNone, "\xC3&"},
        BoundsCase{XMLNode::encodingShiftJIS, "a&lt;\x81", errorNone, "a<\x81"},
        BoundsCase{XMLNode::encodingShiftJIS, "\x81&gt;\xE0", errorNone, "\x81&gt;\xE0"},
        BoundsCase{XMLNode::encodingGB2312, "&gt;\xA1", errorNone, ">\xA1"},
        BoundsCase{XMLNode::encodingBig5, "\x81", errorNone, "\x81"},
        BoundsCase{XMLNode::encodingGBK, "x&#65;\xFE", errorNone, "xA\xFE"},
        // one byte, one character: the "&" stands alone
        BoundsCase{XMLNode::encodingLegacy, "&quot;\xE3", errorNone, "\"\xE3"},
        BoundsCase{XMLNode::encodingLegacy, "\xC3&", kUnknown, ""}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

struct PrecedenceCase {
    const char* text;
    XMLError error;
};

void PrintTo(const PrecedenceCase& c, std::ostream* os) {
    *os << secnative::test::quoted(c.text);
}

class XmlDecodePrecedence : public ::testing::TestWithParam<PrecedenceCase> {};

TEST_P(XmlDecodePrecedence, OneCodeWhateverTheOrder) {
    const PrecedenceCase& c = GetParam();
    std::string text(c.text);
    Outcome failed{false, "", c.error};
    EXPECT_EQ(decodeExact(text, text.size(), false), failed);
    EXPECT_EQ(decodeExact(text, text.size(), true), failed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlDecodePrecedence,
    ::testing::Values(
        // an unknown entity or an unterminated reference anywhere is decisive
        PrecedenceCase{"&#999;&foo;", kUnknown}, PrecedenceCase{"&foo;&#999;", kUnknown},
        PrecedenceCase{"&#999;&#65", kUnknown}, PrecedenceCase{"&#x100;a&", kUnknown},
        PrecedenceCase{"&#999;&#1a;&lt", kUnknown},
        // otherwise the first reference that does not stand for a byte
        PrecedenceCase{"&#999;&#1a;", errorCharacterCodeAbove255},
        PrecedenceCase{"&#1a;&#999;", kUnknown},
        PrecedenceCase{"&#999;&#0;&amp;", errorCharacterCodeAbove255},
        PrecedenceCase{"&#x;&#999;", kUnknown}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.text); });

}  // namespace
