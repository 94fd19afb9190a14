// Internal lexical layer of the XML library: the process-wide encoding and
// parser options, the byte-length tables, character stepping, the tokenizer
// and the entity and clear-tag tables shared by parser and writer.
#ifndef SECNATIVE_XML_XML_LEXER_H
#define SECNATIVE_XML_XML_LEXER_H

#include <cstdint>
#include <cstring>

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
    unsigned char escape[256];   // the writer's escaping: & < > " '
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

// Copies n bytes. Names and values are mostly a few bytes long, where a
// call into the library's memcpy costs more than the copy itself.
inline void copyBytes(char* to, const char* from, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t head;
        uint64_t tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head;
        uint32_t tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n < 4) {
        if (n) {  // the first, middle and last byte cover lengths 1 to 3
            char first = from[0];
            char middle = from[n / 2];
            char last = from[n - 1];
            to[0] = first;
            to[n / 2] = middle;
            to[n - 1] = last;
        }
    } else {
        std::memcpy(to, from, n);
    }
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

// The scanners behind text and quoted tokens. scanTextToken returns the
// index where a text token that goes on at i ends, and sets *next to where
// reading resumes (behind a whitespace character that ended the token, else
// on the ending character). scanQuoted returns the index just behind the
// quote that closes the one at doc[start], or -1 when a NUL or a "<" comes
// first.
int scanTextToken(const char* doc, int i, const unsigned char* stops, const signed char* table,
                  int* next);
int scanQuoted(const char* doc, int start, const unsigned char* stops, const signed char* table);

// The clear-tag row whose opening delimiter starts text, or NULL. Compares
// with strncmp so that a document ending inside a delimiter is not read past
// its terminating NUL. Every delimiter starts with "<!" or "<P": most tags
// are ruled out by their second byte, here, without a call.
const XMLClearTag* findClearTag(const char* text);
inline const XMLClearTag* matchClearTag(const char* text) {
    if (text[0] != '<' || (text[1] != '!' && text[1] != 'P')) return NULL;
    return findClearTag(text);
}

// The writer's escaping of text under a byte-length table: the length of
// the escaped form (without a NUL), and the escaped form written at out
// (without a NUL), returning the byte behind it. A character cut short by
// the NUL ends the text.
uint64_t escapedLength(const char* text, const signed char* table);
char* writeEscaped(char* out, const char* text, const signed char* table);

// fromXMLString for text known to hold no NUL within length bytes: copies
// without decoding when the text holds no "&".
char* decodeText(const char* text, int length, XML* state);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_LEXER_H
