// Encodings: the encoding guess, wide-character detection and conversion,
// end-tag name matching, the option setter and the message table.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "support/guarded_bytes.h"
#include "support/printable.h"
#include "support/xml_test_util.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parse_api.h"

namespace {

using namespace secnative::xml;
using Encoding = XMLNode::XMLCharEncoding;
using secnative::test::quoted;

struct GuessCase {
    std::string bytes;
    char useDeclaration;
    Encoding expected;
};

void PrintTo(const GuessCase& c, std::ostream* os) {
    *os << quoted(c.bytes) << (c.useDeclaration ? " with" : " without") << " the declaration";
}

class XmlEncodingGuess : public ::testing::TestWithParam<GuessCase> {};

TEST_P(XmlEncodingGuess, Guess) {
    const GuessCase& c = GetParam();
    // An exact copy ending at a guard page: reading past the length faults.
    secnative::test::GuardedBytes bytes(c.bytes);
    EXPECT_EQ(
        XMLNode::guessCharEncoding(bytes.chars(), static_cast<int>(bytes.size()), c.useDeclaration),
        c.expected)
        << c.bytes;
}

const std::string kPad(40, ' ');

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlEncodingGuess,
    ::testing::Values(
        GuessCase{std::string(24, 'a'), 1, XMLNode::encodingError},
        GuessCase{std::string(25, 'a'), 1, XMLNode::encodingUTF8},
        GuessCase{"<?xml encoding=\"Big5\"?><a/>  ", 1, XMLNode::encodingBig5},
        GuessCase{"<?xml encoding=\"Big5\"?><a/>  ", 0, XMLNode::encodingUTF8},
        GuessCase{"<?xml encoding = ' GBK2 '?><a/>", 1, XMLNode::encodingGBK},
        GuessCase{"<?xml encoding=\"utf-8\"?><a>\xE9t\xE9</a>", 1, XMLNode::encodingError},
        GuessCase{"<?xml encoding=\"UTF8\"?><a>\xC3\xA9</a>", 1, XMLNode::encodingUTF8},
        GuessCase{"<?xml encoding=\"ISO-8859-1\"?><a>\xE9</a>", 1, XMLNode::encodingLegacy},
        GuessCase{"<?xml encoding=\"Shift-JIS\"?><a/>" + kPad, 1, XMLNode::encodingShiftJIS},
        GuessCase{"<?xml encoding=\"SHIFTJIS\"?><a/>" + kPad, 1, XMLNode::encodingShiftJIS},
        GuessCase{"<?xml encoding=\"sjis\"?><a/>" + kPad, 1, XMLNode::encodingShiftJIS},
        GuessCase{"<?xml encoding=\"gb2312\"?><a/>" + kPad, 1, XMLNode::encodingGB2312},
        // no "=" or no quote after the word: the bytes decide
        GuessCase{"<?xml encoding \"Big5\"?><a/>" + kPad, 1, XMLNode::encodingUTF8},
        GuessCase{"<?xml encoding=Big5?><a>\xE9</a>" + kPad, 1, XMLNode::encodingLegacy},
        GuessCase{"\xEF\xBB\xBF<a>\xE9</a>" + kPad, 1, XMLNode::encodingUTF8},
        GuessCase{"<a>\xE9</a>" + kPad, 1, XMLNode::encodingLegacy},
        GuessCase{"<a>\xE6\x97\xA5</a>" + kPad, 1, XMLNode::encodingUTF8},
        // a lead byte at the very end of the buffer is not read past it
        GuessCase{kPad + "\xE6", 1, XMLNode::encodingUTF8},
        GuessCase{kPad + "\xE6\x97", 1, XMLNode::encodingUTF8},
        GuessCase{kPad + "\xE6x", 1, XMLNode::encodingLegacy},
        // a NUL ends the walk
        GuessCase{std::string("<a/>\0\xE9", 6) + kPad, 0, XMLNode::encodingUTF8},
        // only the first 200 bytes are searched for the declaration
        GuessCase{std::string(200, ' ') + "encoding=\"Big5\"", 1, XMLNode::encodingUTF8},
        GuessCase{std::string(180, ' ') + "encoding=\"Big5\"", 1, XMLNode::encodingBig5}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.bytes); });

std::string wideBytes(const wchar_t* text) {
    return std::string(reinterpret_cast<const char*>(text), std::wcslen(text) * sizeof(wchar_t));
}

TEST(XmlEncodingGuessWide, WideTextIsNoKnownEncodingWhileDetectionIsOn) {
    xmltest::OptionsGuard guard;
    std::string wide = wideBytes(L"<?xml version=\"1.0\"?><a>text</a>");
    EXPECT_EQ(XMLNode::guessCharEncoding(wide.data(), static_cast<int>(wide.size()), 1),
              XMLNode::encodingError);
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 0, 1, 1);
    EXPECT_EQ(XMLNode::guessCharEncoding(wide.data(), static_cast<int>(wide.size()), 1),
              XMLNode::encodingUTF8);
}

struct WideCase {
    std::string bytes;
    int offset;  // where in the buffer the bytes start (tests unaligned reads)
    bool expected;
};

void PrintTo(const WideCase& c, std::ostream* os) {
    *os << quoted(c.bytes) << " at offset " << c.offset;
}

class XmlWideText : public ::testing::TestWithParam<WideCase> {};

TEST_P(XmlWideText, Detect) {
    const WideCase& c = GetParam();
    std::vector<char> buffer(c.bytes.size() + 8);
    std::memcpy(buffer.data() + c.offset, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(myIsTextWideChar(buffer.data() + c.offset, static_cast<int>(c.bytes.size())) != 0,
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlWideText,
    ::testing::Values(WideCase{"", 0, false}, WideCase{"abc", 0, false},
                      WideCase{"abcde", 0, false},  // odd length
                      WideCase{"<a>text</a>!", 0, false},
                      WideCase{wideBytes(L"<a>text</a>"), 0, true},
                      WideCase{wideBytes(L"<a>text</a>"), 1, true},
                      WideCase{wideBytes(L"<a>text</a>"), 3, true},
                      WideCase{std::string("\xFF\xFExyzw", 6), 1, true},
                      WideCase{std::string("\xFE\xFFxyzw", 6), 2, true},
                      // a zero unit among large ones
                      WideCase{std::string("abcd\0\0\0\0efghijkl", 16), 1, true},
                      // no units at most 255 and no zero
                      WideCase{"abcdefghijklmnop", 0, false}),
    [](const auto& test) { return xmltest::caseName(test.index, test.param.bytes); });

TEST(XmlWideConversion, ConvertsUnderTheCurrentLocale) {
    char* plain = myWideCharToMultiByte(L"<a>x</a>");
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain, "<a>x</a>");
    std::free(plain);
    EXPECT_EQ(myWideCharToMultiByte(NULL), nullptr);

    std::string saved = std::setlocale(LC_CTYPE, NULL);
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(myWideCharToMultiByte(L"\x00e9t\x00e9"), nullptr);  // not ASCII
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        char* utf8 = myWideCharToMultiByte(L"\x00e9t\x00e9");
        ASSERT_NE(utf8, nullptr);
        EXPECT_STREQ(utf8, "\xC3\xA9t\xC3\xA9");
        std::free(utf8);
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

struct TagCase {
    const char* name;
    const char* text;
    int expected;
};

TEST(XmlTagCompare, NamesMatchWithoutCaseUpToADelimiter) {
    const TagCase cases[] = {
        {"Item", "item>", 0}, {"Item", "items>", 1}, {"Item", "item", 1}, {"a", "a ", 0},
        {"a", "A\t", 0},      {"a", "a\n", 0},       {"a", "a/", 0},      {"a", "a<", 0},
        {"a", "a=", 0},       {"a", "a?", 1},        {"ab", "a>", 1},     {NULL, "a>", 1},
        {"", ">", 0},         {"a", "", 1},
    };
    for (const TagCase& c : cases) {
        EXPECT_EQ(myTagCompare(c.name, c.text), c.expected)
            << (c.name ? c.name : "NULL") << " vs " << c.text;
    }
}

TEST(XmlOptions, RejectedEncodingStillStoresTheFlags) {
    xmltest::OptionsGuard guard;
    EXPECT_EQ(XMLNode::setGlobalOptions(XMLNode::encodingError, 0, 0, 0), 1);
    EXPECT_EQ(guessWideCharChars, 0);
    EXPECT_EQ(dropWhiteSpace, 0);
    EXPECT_EQ(removeCommentsInMiddleOfText, 0);
    EXPECT_EQ(characterEncoding, XMLNode::encodingUTF8);
    EXPECT_EQ(XMLNode::setGlobalOptions(static_cast<Encoding>(7)), 1);
    EXPECT_EQ(XMLNode::setGlobalOptions(static_cast<Encoding>(-1)), 1);
    EXPECT_EQ(XMLNode::setGlobalOptions(static_cast<Encoding>(1000)), 1);
    EXPECT_EQ(XML_ByteTable, XML_utf8ByteTable.length);
}

TEST(XmlOptions, EachEncodingSelectsItsTable) {
    xmltest::OptionsGuard guard;
    const struct {
        Encoding encoding;
        const signed char* table;
    } cases[] = {{XMLNode::encodingUTF8, XML_utf8ByteTable.length},
                 {XMLNode::encodingLegacy, XML_legacyByteTable.length},
                 {XMLNode::encodingShiftJIS, XML_sjisByteTable.length},
                 {XMLNode::encodingGB2312, XML_gb2312ByteTable.length},
                 {XMLNode::encodingBig5, XML_gbk_big5_ByteTable.length},
                 {XMLNode::encodingGBK, XML_gbk_big5_ByteTable.length}};
    for (const auto& c : cases) {
        EXPECT_EQ(XMLNode::setGlobalOptions(c.encoding), 0);
        EXPECT_EQ(characterEncoding, c.encoding);
        EXPECT_EQ(XML_ByteTable, c.table);
    }
}

TEST(XmlMessages, EveryCodeHasItsMessage) {
    EXPECT_STREQ(XMLNode::getError(errorNone), "No error");
    EXPECT_STREQ(XMLNode::getError(warningUnmatchedEndTag), "Warning: Unmatched end tag");
    EXPECT_STREQ(XMLNode::getError(errorCharacterCodeAbove255),
                 "Error: Character code above 255 is forbidden in MultiByte char mode.");
    EXPECT_STREQ(XMLNode::getError(errorBase64OutputTooSmall),
                 "Error: Base64 decode output buffer is too small");
    for (int code = 0; code <= 20; ++code) {
        EXPECT_STRNE(XMLNode::getError(static_cast<XMLError>(code)), "Unknown") << code;
    }
    EXPECT_STREQ(XMLNode::getError(static_cast<XMLError>(21)), "Unknown");
    EXPECT_STREQ(XMLNode::getError(static_cast<XMLError>(-1)), "Unknown");
    EXPECT_STREQ(XMLNode::getError(static_cast<XMLError>(1 << 30)), "Unknown");
    EXPECT_STREQ(XMLNode::getVersion(), "v2.39");
}

}  // namespace
