// The tokenizer: one reader per kind of token, readToken dispatching to
// them, the end tag as the parser reads it, the clear-tag table and end-tag
// name matching.
//
// Tokens are pointers and lengths into the caller's text; nothing is copied.
// Every scan steps by whole characters of the current encoding, so a byte
// inside a multibyte character is never taken for markup, and no scan moves
// past the terminating NUL.
#include "xml/xml_tokenizer.h"

#include <strings.h>
#include <cstdint>
#include <cstring>

#include "xml/xml_block_scan.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"

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

int scanText(const char* doc, int start, const unsigned char* stops, const signed char* table,
             int* next) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    int i = start + charLength(doc + start, table);
    for (;;) {
        i = skipOrdinary(s, i, stops);
        unsigned char c = s[i];
        if (isXmlSpace(c)) {
            *next = i + 1;
            return i;
        }
        if (c == '/') {
            if (tagCloseLength(doc + i) == 0) {
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

int scanQuoted(const char* doc, int start, const unsigned char* stops, const signed char* table) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    unsigned char quote = s[start];
    int i = start + 1;
    for (;;) {
        i = skipOrdinary(s, i, stops);
        unsigned char c = s[i];
        if (c == quote) return i + 1;
        if (c == 0 || c == '<') return -1;
        i += isQuote(c) ? 1 : charLength(doc + i, table);
    }
}

// The first byte from 0x80 up in [from, to), or to when there is none;
// reads eight bytes at a time through memcpy.
static const char* firstNonAscii(const char* from, const char* to) {
    const uint64_t high = 0x8080808080808080ull;
    while (to - from >= 8) {
        uint64_t word;
        std::memcpy(&word, from, sizeof word);
        if (word & high) break;
        from += 8;
    }
    while (from < to && !(static_cast<unsigned char>(*from) & 0x80)) ++from;
    return from;
}

int scanLongContent(const char* doc, int i, const unsigned char* stops, const signed char* table) {
    // In every encoding bytes below 0x80 are whole characters, so up to the
    // first other byte the next "<" can be searched for bytewise. (Not with
    // strchr: the sanitizers' strchr measures the rest of the document on
    // every call.)
    const char* end = findByteOrEnd(doc + i, '<');
    const char* other = firstNonAscii(doc + i, end);
    if (other == end) return static_cast<int>(end - doc);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    for (i = static_cast<int>(other - doc);; i += charLength(doc + i, table)) {
        i = skipOrdinary(s, i, stops);
        if (s[i] == '<' || s[i] == 0) return i;
    }
}

NextToken GetNextToken(XML* state, int* length, XMLTokenTypeTag* type) {
    const signed char* table = XML_ByteTable;
    return readToken(state, table, scanTablesFor(table), length, type);
}

NextToken readToken(XML* state, const signed char* table, const ScanTables& scan, int* length,
                    XMLTokenTypeTag* type) {
    const char* doc = state->document;
    int start = skipSpace(doc, state->position);
    unsigned char c = static_cast<unsigned char>(doc[start]);
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

    int position = start + 1;  // behind c, a one-byte character unless text
    int end = -1;              // set for text tokens, whose length may exclude a whitespace
    int close = tagCloseLength(doc + start);
    int behindQuote = isQuote(c) ? scanQuoted(doc, start, scan.quoted, table) : -1;
    if (c == '<') {
        position = start + readTagOpen(doc + start, type);
    } else if (c == '=') {
        *type = tokenEquals;
    } else if (close) {
        *type = close == 1 ? tokenTagClose : tokenEmptyTagClose;
        position = start + close;
    } else if (behindQuote >= 0) {
        *type = tokenQuoted;
        position = behindQuote;
    } else {
        // Anything else, an unterminated quote and a "/" before something
        // other than ">" included, begins a text token.
        *type = tokenText;
        end = scanText(doc, start, scan.text, table, &position);
    }
    *length = (end >= 0 ? end : position) - start;
    state->position = position;
    return result;
}

EndTagName readEndTagTokens(XML* state, const signed char* table, const ScanTables& scan,
                            const char* openName, const char** name, int* length) {
    const char* doc = state->document;
    *name = readName(state, table, scan, length);
    if (!*name) return EndTagName::missing;
    int close = skipSpace(doc, state->position);
    if (tagCloseLength(doc + close) != 1) {
        // Whatever token stands there is read, so that the error is
        // reported behind it.
        int ignored;
        XMLTokenTypeTag type;
        readToken(state, table, scan, &ignored, &type);
        return EndTagName::missing;
    }
    state->position = close + 1;
    bool same = openName && !std::strncmp(openName, *name, static_cast<size_t>(*length)) &&
                openName[*length] == 0;
    return same ? EndTagName::same : EndTagName::other;
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
        if (strncasecmp(name, text, length) != 0) return 1;
    }
    unsigned char next = static_cast<unsigned char>(text[length]);
    bool delimited = secnative::xml::isXmlSpace(next) || next == '/' || next == '<' ||
                     next == '>' || next == '=';
    return delimited ? 0 : 1;
}
