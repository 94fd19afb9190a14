// Character encodings (xml_encoding.cpp): the process-wide encoding and its
// byte-length table, the byte-length and scan tables of every encoding, and
// stepping through text by whole characters.
#ifndef SECNATIVE_XML_XML_ENCODING_H
#define SECNATIVE_XML_XML_ENCODING_H

#include "xml/xml_parser.h"

namespace secnative::xml {

// ---- Process-wide options (unsynchronised; see setGlobalOptions) ----------

extern XMLNode::XMLCharEncoding characterEncoding;
extern const signed char* XML_ByteTable;  // byte-length table of characterEncoding
extern char guessWideCharChars;

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

// ---- Characters -------------------------------------------------------------

constexpr bool isXmlSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Length of the character at p. A multibyte character cut short by the
// terminating NUL ends at that NUL, so no scan ever steps past the end.
inline int charLength(const char* p, const signed char* table) {
    // Table entries are lengths, 0 to 4.
    int n = static_cast<unsigned char>(table[static_cast<unsigned char>(*p)]);
    if (n <= 1) return n;
    for (int i = 1; i < n; ++i) {
        if (p[i] == 0) return i;
    }
    return n;
}

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_ENCODING_H
