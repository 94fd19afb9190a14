// The tokenizer, the clear-tag table and end-tag name matching.
//
// Tokens are pointers and lengths into the caller's text; nothing is copied.
// Every scan steps by whole characters of the current encoding, so a byte
// inside a multibyte character is never taken for markup, and no scan moves
// past the terminating NUL.
#include <strings.h>
#include <cstring>

#include "xml/xml_lexer.h"

namespace secnative::xml {

const XMLClearTag XMLClearTags[] = {
    {"<![CDATA[", 9, "]]>"}, {"<!DOCTYPE", 9, ">"}, {"<!--", 4, "-->"},
    {"<PRE>", 5, "</PRE>"},  {NULL, 0, NULL},
};

const char kDoctypeSubsetClose[] = "]>";

const XMLClearTag* findClearTag(const char* text) {
    for (const XMLClearTag* tag = XMLClearTags; tag->openDelimiter; ++tag) {
        if (!std::strncmp(text, tag->openDelimiter, static_cast<size_t>(tag->openLength))) {
            return tag;
        }
    }
    return NULL;
}

// Returns the index of the first byte at or after i that the class table
// stops on. Runs of ordinary bytes are passed four at a time; every table
// stops at NUL, so no look goes beyond the terminating one.
static inline int skipOrdinary(const unsigned char* s, int i, const unsigned char* stops) {
    while (!stops[s[i]]) {
        if (stops[s[i + 1]]) return i + 1;
        if (stops[s[i + 2]]) return i + 2;
        if (stops[s[i + 3]]) return i + 3;
        i += 4;
    }
    return i;
}

// Scans a run of ordinary characters from index i; returns the index where
// the token's text ends and sets *next to where reading goes on (behind a
// whitespace character that ended the token, else on the ending character).
int scanTextToken(const char* doc, int i, const unsigned char* stops, const signed char* table,
                  int* next) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    for (;;) {
        i = skipOrdinary(s, i, stops);
        unsigned char c = s[i];
        if (isXmlSpace(c)) {
            *next = i + 1;
            return i;
        }
        if (c == '/') {
            if (s[i + 1] != '>') {
                ++i;
                continue;
            }
            *next = i;
            return i;
        }
        if (c == 0 || c == '<' || c == '>' || c == '=') {
            *next = i;
            return i;
        }
        i += charLength(doc + i, table);
    }
}

// Index just behind the closing quote matching doc[start], or -1 when a NUL
// or a "<" comes first (an unterminated value).
int scanQuoted(const char* doc, int start, const unsigned char* stops, const signed char* table) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    unsigned char quote = s[start];
    int i = start + 1;
    for (;;) {
        i = skipOrdinary(s, i, stops);
        unsigned char c = s[i];
        if (c == quote) return i + 1;
        if (c == 0 || c == '<') return -1;
        i += c == '"' || c == '\'' ? 1 : charLength(doc + i, table);
    }
}

NextToken GetNextToken(XML* state, int* length, XMLTokenTypeTag* type) {
    const signed char* table = XML_ByteTable;
    return readToken(state, table, scanTablesFor(table), length, type);
}

NextToken readToken(XML* state, const signed char* table, const ScanTables& scan, int* length,
                    XMLTokenTypeTag* type) {
    const char* doc = state->document;
    int start = state->position;
    // Whitespace characters are single bytes in every encoding.
    while (isXmlSpace(static_cast<unsigned char>(doc[start]))) ++start;
    unsigned char c = static_cast<unsigned char>(doc[start]);
    int position = start + charLength(doc + start, table);

    NextToken result = {doc + start, NULL};
    if (c == 0) {
        *type = tokenEnd;
        *length = 0;
        state->position = start;
        result.token = NULL;
        return result;
    }
    if (const XMLClearTag* tag = matchClearTag(doc + start)) {
        *type = tokenClear;
        state->position = start + tag->openLength;
        result.clear = tag;
        return result;
    }

    int end = -1;  // set for text tokens, whose length may exclude a whitespace
    switch (c) {
        case '"':
        case '\'': {
            int behind = scanQuoted(doc, start, scan.quoted, table);
            if (behind >= 0) {
                *type = tokenQuoted;
                position = behind;
            } else {
                *type = tokenText;
                end = scanTextToken(doc, start + 1, scan.text, table, &position);
            }
            break;
        }
        case '<':
            if (doc[position] == '/') {
                *type = tokenEndTag;
                ++position;
            } else if (doc[position] == '?') {
                *type = tokenDeclarationStart;
                ++position;
            } else {
                *type = tokenStartTag;
            }
            break;
        case '/':
            if (doc[position] == '>') {
                *type = tokenEmptyTagClose;
                ++position;
            } else {
                *type = tokenText;
                end = scanTextToken(doc, position, scan.text, table, &position);
            }
            break;
        case '=':
            *type = tokenEquals;
            break;
        case '>':
            *type = tokenTagClose;
            break;
        default:
            *type = tokenText;
            end = scanTextToken(doc, position, scan.text, table, &position);
            break;
    }
    *length = (end >= 0 ? end : position) - start;
    state->position = position;
    return result;
}

}  // namespace secnative::xml

int myTagCompare(const char* name, const char* text) {
    if (!name || !text) return 1;
    // End tags nearly always repeat the start tag's spelling exactly: compare
    // bytes first and fold case only when they differ.
    size_t length = 0;
    while (name[length] && name[length] == text[length]) ++length;
    if (name[length]) {
        length += std::strlen(name + length);
        if (strncasecmp(name, text, length)) return 1;
    }
    unsigned char next = static_cast<unsigned char>(text[length]);
    bool delimited = secnative::xml::isXmlSpace(next) || next == '/' || next == '<' ||
                     next == '>' || next == '=';
    return delimited ? 0 : 1;
}
