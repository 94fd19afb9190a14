// The tokenizer (xml_tokenizer.cpp): the clear-tag table, one reader per
// kind of token, readToken dispatching to them, the token sequences the
// parser expects and the end tag as the parser reads it.
//
// Tokens are pointers and lengths into the caller's text; positions are byte
// indexes into it. Every scan steps by whole characters of the encoding's
// byte-length table and stops at the terminating NUL.
#ifndef SECNATIVE_XML_XML_TOKENIZER_H
#define SECNATIVE_XML_XML_TOKENIZER_H

#include <climits>
#include <cstring>

#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

// ---- Clear tags ---------------------------------------------------------------

struct XMLClearTag {
    const char* openDelimiter;
    int openLength;
    const char* closeDelimiter;
};

// CDATA, DOCTYPE, comment and preformatted blocks, ended by a NULL row. Row 1
// (DOCTYPE) and row 2 (comment) are recognised by address.
extern const XMLClearTag XMLClearTags[];
constexpr int kClearTagDoctype = 1;
constexpr int kClearTagComment = 2;
// Closes a DOCTYPE that carries an internal subset in brackets.
extern const char kDoctypeSubsetClose[];

// The clear-tag row whose opening delimiter starts text, or NULL. Compares
// with strncmp so that a document ending inside a delimiter is not read past
// its terminating NUL. Every delimiter starts with "<!" or "<P": most tags
// are ruled out by their second byte, here, without a call.
const XMLClearTag* findClearTag(const char* text);
inline const XMLClearTag* matchClearTag(const char* text) {
    if (text[0] != '<' || (text[1] != '!' && text[1] != 'P')) return NULL;
    return findClearTag(text);
}

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

// ---- Token readers -----------------------------------------------------------
//
// Each kind of token is read by one function below: readToken dispatches to
// them, and the parser calls them directly where it knows what must come
// next. Positions are byte indexes into doc.

// Skips the whitespace before a token (single bytes in every encoding).
inline int skipSpace(const char* doc, int i) {
    while (isXmlSpace(static_cast<unsigned char>(doc[i]))) ++i;
    return i;
}

inline bool isQuote(unsigned char c) {
    return c == '"' || c == '\'';
}

// "<", "</" or "<?" at p, whose first byte is "<": sets *type and returns
// the token's length.
inline int readTagOpen(const char* p, XMLTokenTypeTag* type) {
    if (p[1] == '/' || p[1] == '?') {
        *type = p[1] == '/' ? tokenEndTag : tokenDeclarationStart;
        return 2;
    }
    *type = tokenStartTag;
    return 1;
}

// The length of the tag close at p: 1 for ">", 2 for "/>", 0 for neither.
inline int tagCloseLength(const char* p) {
    if (p[0] == '>') return 1;
    return p[0] == '/' && p[1] == '>' ? 2 : 0;
}

// Returns the index of the first byte at or after i that the class table
// stops on, or the index where a group of four ordinary bytes passes limit
// (never, for INT_MAX). Runs of ordinary bytes are passed four at a time;
// every table stops at NUL, so no look goes beyond the terminating one.
inline int skipOrdinary(const unsigned char* s, int i, const unsigned char* stops,
                        int limit = INT_MAX) {
    while (!stops[s[i]]) {
        if (stops[s[i + 1]]) return i + 1;
        if (stops[s[i + 2]]) return i + 2;
        if (stops[s[i + 3]]) return i + 3;
        i += 4;
        if (i > limit) break;
    }
    return i;
}

// Text tokens (names, unquoted values): returns the index where the text
// token that begins at start ends (its first character belongs to it,
// whatever it is), and sets *next to where reading resumes: behind a
// whitespace character that ended the token, else on the ending character.
int scanText(const char* doc, int start, const unsigned char* stops, const signed char* table,
             int* next);

// Whether a token that begins with the byte c is a text token, whatever
// follows: a one-byte character that no token rule singles out, as names
// nearly always begin. (A quote may begin a quoted value, and the other
// bytes that stop text scans begin other tokens or need a closer look.)
inline bool startsPlainText(unsigned char c, const ScanTables& scan) {
    return !scan.text[c] && !isQuote(c);
}

// Quoted values: the index just behind the quote that closes the one at
// doc[start], or -1 when a NUL or a "<" comes first (the quote then begins
// a text token).
int scanQuoted(const char* doc, int start, const unsigned char* stops, const signed char* table);

// The rest of scanContent from i, where a long run of ordinary bytes
// begins.
int scanLongContent(const char* doc, int i, const unsigned char* stops, const signed char* table);

// Element content: the index of the next "<" or NUL at or after i, stepping
// by characters. Whatever tokens lie before it belong to the content's
// text.
inline int scanContent(const char* doc, int i, const unsigned char* stops,
                       const signed char* table) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    // Content between tags is mostly a few words, whose end the class table
    // finds soonest. Past 16 ordinary bytes the run is taken for a long one.
    int limit = i < INT_MAX - 15 ? i + 15 : INT_MAX;
    for (;;) {
        i = skipOrdinary(s, i, stops, limit);
        if (!stops[s[i]]) return scanLongContent(doc, i, stops, table);
        if (s[i] == '<' || s[i] == 0) return i;
        i += charLength(doc + i, table);
    }
}

// ---- Token sequences the parser expects --------------------------------------
//
// Each reads from state->position exactly what readToken would read there,
// through the readers above, without readToken's dispatch in the usual
// cases.

// A name: the token at the position when it is a text token. Returns its
// first character and sets *length; returns NULL when the token is of
// another kind (consumed all the same, as readToken would).
inline const char* readName(XML* state, const signed char* table, const ScanTables& scan,
                            int* length) {
    const char* doc = state->document;
    int start = state->position;
    if (startsPlainText(static_cast<unsigned char>(doc[start]), scan)) {
        int next;
        *length = scanText(doc, start, scan.text, table, &next) - start;
        state->position = next;
        return doc + start;
    }
    XMLTokenTypeTag type;
    NextToken token = readToken(state, table, scan, length, &type);
    return type == tokenText ? token.token : NULL;
}

// A tag close after any whitespace: returns its length (see tagCloseLength)
// and moves the position behind it, or returns 0, reading nothing.
inline int readTagClose(XML* state) {
    int at = skipSpace(state->document, state->position);
    int length = tagCloseLength(state->document + at);
    if (length) state->position = at + length;
    return length;
}

// An attribute of the usual shape, name="value" or name='value' with any
// whitespace around the "=": offsets into the document, the value's
// without its quotes.
struct QuotedAttribute {
    int name;
    int nameLength;
    int value;
    int valueLength;
};

// Reads such an attribute (its three tokens) and moves the position behind
// the closing quote. Returns false, reading nothing, when the text at the
// position has another shape.
inline bool readQuotedAttribute(XML* state, const signed char* table, const ScanTables& scan,
                                QuotedAttribute* out) {
    const char* doc = state->document;
    int i = skipSpace(doc, state->position);
    if (!startsPlainText(static_cast<unsigned char>(doc[i]), scan)) return false;
    int next;
    int nameEnd = scanText(doc, i, scan.text, table, &next);
    int equals = skipSpace(doc, next);
    if (doc[equals] != '=') return false;
    int quote = skipSpace(doc, equals + 1);
    if (!isQuote(static_cast<unsigned char>(doc[quote]))) return false;
    int behind = scanQuoted(doc, quote, scan.quoted, table);
    if (behind < 0) return false;
    *out = {i, nameEnd - i, quote + 1, behind - quote - 2};
    state->position = behind;
    return true;
}

// How an end tag's name compares with the open element's.
enum class EndTagName { missing, same, other };

// The name and ">" of an end tag, read as tokens from the position just
// behind "</"; see readEndTag.
EndTagName readEndTagTokens(XML* state, const signed char* table, const ScanTables& scan,
                            const char* openName, const char** name, int* length);

// The name and ">" of an end tag, from the position just behind "</".
// openName is the open element's name as its start tag read it, of
// openLength bytes (NULL and -1 for the nameless top). Returns missing,
// with the position behind the tokens read, when they are not a name and
// ">". Otherwise the position goes behind the ">", *name and *length give
// the name, and the result says whether it is openName byte for byte.
inline EndTagName readEndTag(XML* state, const signed char* table, const ScanTables& scan,
                             const char* openName, int openLength, const char** name, int* length) {
    // The end tag nearly always repeats the open element's name and closes
    // right behind it. Read as tokens, such a name and ">" are that name and
    // ">" again: its characters are stepped through as before and the ">"
    // ends it, unless it begins with a quote (which the later one might
    // close as a quoted value) or ends with "/" (which now makes "/>").
    const char* at = state->document + state->position;
    if (openLength > 0 && !isQuote(static_cast<unsigned char>(openName[0])) &&
        openName[openLength - 1] != '/' &&
        !std::strncmp(at, openName, static_cast<size_t>(openLength)) &&
        tagCloseLength(at + openLength) == 1) {
        state->position += openLength + 1;
        *name = at;
        *length = openLength;
        return EndTagName::same;
    }
    return readEndTagTokens(state, table, scan, openName, name, length);
}

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_TOKENIZER_H
