// Internal lexical layer of the XML library: the process-wide encoding and
// parser options, the byte-length tables, character stepping, the tokenizer
// and the entity and clear-tag tables shared by parser and writer.
#ifndef SECNATIVE_XML_XML_LEXER_H
#define SECNATIVE_XML_XML_LEXER_H

#include "xml/xml_parser.h"

namespace secnative::xml {

// ---- Process-wide options (unsynchronised; see setGlobalOptions) ----------

extern XMLNode::XMLCharEncoding characterEncoding;
extern const signed char* XML_ByteTable;  // byte-length table of characterEncoding
extern char guessWideCharChars;
extern char dropWhiteSpace;
extern char removeCommentsInMiddleOfText;

// ---- Byte-length tables -----------------------------------------------------

// Indexed by a character's first byte, they give its length in bytes; the
// entry for NUL is 0 so that a scanner standing on the end does not move.
struct ByteLengthTable {
    signed char length[256];
};
extern const ByteLengthTable XML_utf8ByteTable;
extern const ByteLengthTable XML_legacyByteTable;
extern const ByteLengthTable XML_sjisByteTable;
extern const ByteLengthTable XML_gb2312ByteTable;
extern const ByteLengthTable XML_gbk_big5_ByteTable;

// The table for an encoding, or NULL for encodingError and unknown values.
const signed char* byteTableFor(int encoding);

// Per byte-length table, the bytes at which the scanners must stop and look
// closer; every other byte is a one-byte character they simply pass. Each
// table also stops at NUL and at the first byte of every multibyte
// character.
struct ScanTables {
    unsigned char content[256];  // element content: "<"
    unsigned char text[256];     // text tokens: whitespace, "<", ">", "=", "/"
    unsigned char quoted[256];   // quoted values: either quote, "<"
    unsigned char entity[256];   // entity decoding: "&"
};
const ScanTables& scanTablesFor(const signed char* byteTable);

inline bool isXmlSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Length of the character at p. A multibyte character cut short by the
// terminating NUL ends at that NUL, so no scan ever steps past the end.
inline int charLength(const char* p, const signed char* table) {
    int n = table[static_cast<unsigned char>(*p)];
    if (n <= 1) return n;
    for (int i = 1; i < n; ++i) {
        if (p[i] == 0) return i;
    }
    return n;
}

// ---- Entities and clear tags ---------------------------------------------

struct XMLEntity {
    const char* entity;  // from "&" to ";"
    int entityLength;
    char character;
};

struct XMLClearTag {
    const char* openDelimiter;
    int openLength;
    const char* closeDelimiter;
};

// The five predefined entities, ended by a row with a NULL entity.
extern const XMLEntity XMLEntities[];
// CDATA, DOCTYPE, comment and preformatted blocks, ended by a NULL row. Row 1
// (DOCTYPE) and row 2 (comment) are recognised by address.
extern const XMLClearTag XMLClearTags[];
constexpr int kClearTagDoctype = 1;
constexpr int kClearTagComment = 2;
// Closes a DOCTYPE that carries an internal subset in brackets.
extern const char kDoctypeSubsetClose[];

// ---- Tokenizer -------------------------------------------------------------

enum XMLTokenTypeTag {
    tokenText = 0,
    tokenQuoted = 1,
    tokenStartTag = 2,
    tokenEndTag = 3,
    tokenTagClose = 4,
    tokenEquals = 5,
    tokenDeclarationStart = 6,
    tokenEmptyTagClose = 7,
    tokenClear = 8,
    tokenEnd = 9
};

struct NextToken {
    const char* token;         // first character of the token; NULL at the end
    const XMLClearTag* clear;  // the matching row for tokenClear, else NULL
};

// Reads the token at state->position and advances past it. For tokenClear
// *length is left unchanged.
NextToken GetNextToken(XML* state, int* length, XMLTokenTypeTag* type);

// GetNextToken with the encoding's tables passed in, for callers that read
// many tokens under one encoding.
NextToken readToken(XML* state, const signed char* table, const ScanTables& scan, int* length,
                    XMLTokenTypeTag* type);

// The clear-tag row whose opening delimiter starts text, or NULL. Compares
// with strncmp so that a document ending inside a delimiter is not read past
// its terminating NUL.
const XMLClearTag* matchClearTag(const char* text);

// fromXMLString for text known to hold no NUL within length bytes: copies
// without decoding when the text holds no "&".
char* decodeText(const char* text, int length, XML* state);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_LEXER_H
