// The parser's direct token readers against readToken: at the same place
// each must read exactly what the general tokenizer reads there, in every
// encoding. Tables and encodings are passed in; no global option changes.
// Texts are copied into blocks of exactly their size that end at a guard
// page, so that any read past the terminating NUL faults, in every build.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

#include "support/guarded_bytes.h"
#include "support/printable.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"
#include "xml/xml_tokenizer.h"

namespace {

using namespace secnative::xml;
using secnative::test::GuardedBytes;
using secnative::test::quoted;

const XMLNode::XMLCharEncoding kUtf8 = XMLNode::encodingUTF8;
const XMLNode::XMLCharEncoding kSjis = XMLNode::encodingShiftJIS;

// A NUL-terminated copy of text whose NUL is the last byte before a guard
// page; none for NULL.
std::unique_ptr<GuardedBytes> exactCopy(const char* text) {
    if (!text) return nullptr;
    return std::make_unique<GuardedBytes>(text, true);
}

const char* chars(const std::unique_ptr<GuardedBytes>& copy) {
    return copy ? copy->chars() : NULL;
}

struct Reader {
    explicit Reader(XMLNode::XMLCharEncoding encoding, const char* text)
        : table(byteTableFor(encoding)), scan(scanTablesFor(table)) {
        state.document = text;
    }
    // The next token as readToken reads it.
    NextToken token(XMLTokenTypeTag* type, int* length) {
        *length = 0;
        return readToken(&state, table, scan, length, type);
    }
    XML state = {};
    const signed char* table;
    const ScanTables& scan;
};

struct ReadCase {
    XMLNode::XMLCharEncoding encoding;
    const char* text;
};

const char* encodingName(XMLNode::XMLCharEncoding encoding) {
    return encoding == kSjis ? " in Shift-JIS" : "";
}

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << quoted(c.text) << encodingName(c.encoding);
}

class XmlTokenReaders : public ::testing::TestWithParam<ReadCase> {};

TEST_P(XmlTokenReaders, NameReadsTheTextToken) {
    const std::unique_ptr<GuardedBytes> text = exactCopy(GetParam().text);
    Reader direct(GetParam().encoding, chars(text));
    Reader tokens(GetParam().encoding, chars(text));
    int length = -1;
    const char* name = readName(&direct.state, direct.table, direct.scan, &length);
    int tokenLength;
    XMLTokenTypeTag type;
    NextToken token = tokens.token(&type, &tokenLength);
    EXPECT_EQ(name, type == tokenText ? token.token : nullptr);
    if (name) {
        EXPECT_EQ(length, tokenLength);
    }
    EXPECT_EQ(direct.state.position, tokens.state.position);
}

TEST_P(XmlTokenReaders, QuotedAttributeReadsThreeTokens) {
    const std::unique_ptr<GuardedBytes> text = exactCopy(GetParam().text);
    Reader direct(GetParam().encoding, chars(text));
    Reader tokens(GetParam().encoding, chars(text));
    QuotedAttribute a;
    bool read = readQuotedAttribute(&direct.state, direct.table, direct.scan, &a);
    XMLTokenTypeTag type[3];
    int length[3];
    NextToken name = tokens.token(&type[0], &length[0]);
    tokens.token(&type[1], &length[1]);
    NextToken value = tokens.token(&type[2], &length[2]);
    bool shape = type[0] == tokenText && type[1] == tokenEquals && type[2] == tokenQuoted;
    // Only names that begin with a plain character are taken directly.
    if (shape && !startsPlainText(static_cast<unsigned char>(*name.token), direct.scan)) {
        shape = false;
    }
    ASSERT_EQ(read, shape);
    if (!read) {
        EXPECT_EQ(direct.state.position, 0);
        return;
    }
    EXPECT_EQ(chars(text) + a.name, name.token);
    EXPECT_EQ(a.nameLength, length[0]);
    EXPECT_EQ(chars(text) + a.value, value.token + 1);
    EXPECT_EQ(a.valueLength, length[2] - 2);
    EXPECT_EQ(direct.state.position, tokens.state.position);
}

TEST_P(XmlTokenReaders, ContentEndsAtTheFirstMarkupToken) {
    const std::unique_ptr<GuardedBytes> text = exactCopy(GetParam().text);
    Reader tokens(GetParam().encoding, chars(text));
    int markup = static_cast<int>(std::strlen(chars(text)));
    for (;;) {
        XMLTokenTypeTag type;
        int length;
        NextToken token = tokens.token(&type, &length);
        if (type == tokenEnd) break;
        if (*token.token == '<') {
            markup = static_cast<int>(token.token - chars(text));
            break;
        }
    }
    EXPECT_EQ(scanContent(chars(text), 0, tokens.scan.content, tokens.table), markup);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlTokenReaders,
    ::testing::Values(ReadCase{kUtf8, "a>"}, ReadCase{kUtf8, "ab cd"}, ReadCase{kUtf8, " a='1'"},
                      ReadCase{kUtf8, "a = \"1\" b"}, ReadCase{kUtf8, "a=1"},
                      ReadCase{kUtf8, "a=\"1"}, ReadCase{kUtf8, "a=\"x<y\""},
                      ReadCase{kUtf8, "a=\"x'y\"/>"}, ReadCase{kUtf8, "'a'=\"1\""},
                      ReadCase{kUtf8, "'a=\"1\""}, ReadCase{kUtf8, "a/b=\"1\""},
                      ReadCase{kUtf8, "a/>"}, ReadCase{kUtf8, "/x>"}, ReadCase{kUtf8, "/>"},
                      ReadCase{kUtf8, "="}, ReadCase{kUtf8, ""}, ReadCase{kUtf8, "<!-- c -->"},
                      ReadCase{kUtf8, "\xE3\x81\x82=\"\xE3\x81\x82\"<"},
                      ReadCase{kUtf8, "a\xE3=\"1\""},
                      // runs of content past 16 bytes, with characters from 0x80 up
                      ReadCase{kUtf8, "0123456789abcdefghij<x>"},
                      ReadCase{kUtf8, "0123456789abcdefghij\xC3\xA9 k l m n o p q r s<x>"},
                      ReadCase{kUtf8, "text \"quoted < text\" <x"},
                      ReadCase{kSjis, "0123456789abcdefghij\x81<\x81<<x"},
                      ReadCase{kSjis, "\x81<=\"\x81\"\"<"}, ReadCase{kSjis, "a\x81\"=\"1\""}));

// ---- End tags ----------------------------------------------------------

struct EndTagCase {
    XMLNode::XMLCharEncoding encoding;
    const char* openName;  // NULL: the nameless top
    const char* text;      // behind "</"
};

void PrintTo(const EndTagCase& c, std::ostream* os) {
    *os << "</" << quoted(c.text) << " closing " << quoted(c.openName) << encodingName(c.encoding);
}

class XmlEndTagReader : public ::testing::TestWithParam<EndTagCase> {};

// The end tag is a text token and ">"; the name matches when it is the open
// name byte for byte.
TEST_P(XmlEndTagReader, ReadsANameAndTagClose) {
    const EndTagCase& c = GetParam();
    const std::unique_ptr<GuardedBytes> text = exactCopy(c.text);
    const std::unique_ptr<GuardedBytes> openName = exactCopy(c.openName);
    Reader tokens(c.encoding, chars(text));
    XMLTokenTypeTag nameType;
    XMLTokenTypeTag closeType = tokenEnd;
    int length;
    int closeLength;
    NextToken name = tokens.token(&nameType, &length);
    if (nameType == tokenText) tokens.token(&closeType, &closeLength);
    EndTagName expected = EndTagName::missing;
    if (nameType == tokenText && closeType == tokenTagClose) {
        bool same = c.openName && std::string(c.openName) == std::string(name.token, length);
        expected = same ? EndTagName::same : EndTagName::other;
    }

    Reader direct(c.encoding, chars(text));
    const char* endName = nullptr;
    int endLength = -1;
    int openLength = c.openName ? static_cast<int>(std::strlen(c.openName)) : -1;
    EndTagName read = readEndTag(&direct.state, direct.table, direct.scan, chars(openName),
                                 openLength, &endName, &endLength);
    EXPECT_EQ(static_cast<int>(read), static_cast<int>(expected));
    EXPECT_EQ(direct.state.position, tokens.state.position);
    if (read != EndTagName::missing) {
        EXPECT_EQ(endName, name.token);
        EXPECT_EQ(endLength, length);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlEndTagReader,
    ::testing::Values(
        EndTagCase{kUtf8, "a", "a>"}, EndTagCase{kUtf8, "a", "a >"}, EndTagCase{kUtf8, "a", " a>"},
        EndTagCase{kUtf8, "a", "A>"}, EndTagCase{kUtf8, "a", "ab>"}, EndTagCase{kUtf8, "ab", "a>"},
        EndTagCase{kUtf8, "a", "a x>"}, EndTagCase{kUtf8, "a", "a/>"}, EndTagCase{kUtf8, "a", "a"},
        EndTagCase{kUtf8, "a", ""}, EndTagCase{kUtf8, "a", ">"}, EndTagCase{kUtf8, NULL, "a>"},
        EndTagCase{kUtf8, "a/b", "a/b>"},
        // "a/" followed by ">" reads as "a" and "/>"
        EndTagCase{kUtf8, "a/", "a/>"}, EndTagCase{kUtf8, "/", "/>"},
        // a quote can close there as a quoted value
        EndTagCase{kUtf8, "'a", "'a>'"}, EndTagCase{kUtf8, "'a", "'a>"},
        EndTagCase{kUtf8, "\xE3\x81\x82", "\xE3\x81\x82>"}, EndTagCase{kSjis, "\x81/", "\x81/>"},
        EndTagCase{kSjis, "a\x81>", "a\x81>>"}));

}  // namespace
