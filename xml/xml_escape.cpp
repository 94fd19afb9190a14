// Escaping text for XML: the bytes & < > " ' become their entities, every
// other character is copied whole. Characters are stepped through with the
// current encoding's byte-length table, so that no byte inside a multibyte
// character is ever taken for one of the five; a character cut short by the
// NUL ends the text there and is left out, since its lead byte would take
// in the markup the writer puts behind the text (a closing quote, the "<"
// of the next tag) when the text is read again. Runs of plain bytes are
// found with the scan table and copied at once.
#include "xml/xml_escape.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "xml/xml_block_scan.h"
#include "xml/xml_encoding.h"
#include "xml/xml_entities.h"
#include "xml/xml_model.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

namespace {

// The entity of one of the five bytes, or NULL.
inline const XMLEntity* entityOf(unsigned char c) {
    switch (c) {
        case '&':
            return &XMLEntities[0];
        case '<':
            return &XMLEntities[1];
        case '>':
            return &XMLEntities[2];
        case '"':
            return &XMLEntities[3];
        case '\'':
            return &XMLEntities[4];
        default:
            return NULL;
    }
}

// The first stop at or after p, one byte at a time.
inline const char* skipPlainBytes(const char* p, const unsigned char* stops) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    for (;;) {
        if (stops[u[0]]) return reinterpret_cast<const char*>(u);
        if (stops[u[1]]) return reinterpret_cast<const char*>(u + 1);
        if (stops[u[2]]) return reinterpret_cast<const char*>(u + 2);
        if (stops[u[3]]) return reinterpret_cast<const char*>(u + 3);
        u += 4;
    }
}

#ifdef SECNATIVE_XML_BLOCK_SCAN
// The first stop at or after p: whole blocks of plain ASCII at once, then
// any bytes from 0x80 up that the encoding leaves plain. Every stop of every
// encoding's table is among the bytes skipPlainAscii stops at, since all
// multibyte lead bytes lie from 0x80 up.
inline const char* skipPlain(const char* p, const unsigned char* stops) {
    // Text dense with entities has its next stop close by.
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    if (stops[u[0]]) return p;
    if (stops[u[1]]) return p + 1;
    if (stops[u[2]]) return p + 2;
    const char* q = skipPlainAscii(p + 3);
    return stops[static_cast<unsigned char>(*q)] ? q : skipPlainBytes(q, stops);
}
#else
inline const char* skipPlain(const char* p, const unsigned char* stops) {
    return skipPlainBytes(p, stops);
}
#endif

// The length of the character at p, or 0 when the NUL cuts it short.
inline int wholeCharLength(const char* p, const signed char* table) {
    const int n = charLength(p, table);
    return n == static_cast<unsigned char>(table[static_cast<unsigned char>(*p)]) ? n : 0;
}

}  // namespace

uint64_t escapedLength(const char* text, const signed char* table) {
    const unsigned char* stops = scanTablesFor(table).escape;
    uint64_t length = 0;
    const char* p = text;
    for (;;) {
        const char* stop = skipPlain(p, stops);
        length += static_cast<uint64_t>(stop - p);
        p = stop;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!c) return length;
        if (const XMLEntity* e = entityOf(c)) {
            length += static_cast<uint64_t>(e->entityLength);
            ++p;
        } else {
            const int n = wholeCharLength(p, table);
            if (!n) return length;
            length += static_cast<uint64_t>(n);
            p += n;
        }
    }
}

char* writeEscaped(char* out, const char* text, const signed char* table) {
    const unsigned char* stops = scanTablesFor(table).escape;
    const char* p = text;
    for (;;) {
        const char* stop = skipPlain(p, stops);
        const size_t run = static_cast<size_t>(stop - p);
        copyBytes(out, p, run);
        out += run;
        p = stop;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!c) return out;
        if (const XMLEntity* e = entityOf(c)) {
            copyBytes(out, e->entity, static_cast<size_t>(e->entityLength));
            out += e->entityLength;
            ++p;
        } else {
            const int n = wholeCharLength(p, table);
            if (!n) return out;
            copyBytes(out, p, static_cast<size_t>(n));
            out += n;
            p += n;
        }
    }
}

}  // namespace secnative::xml

using secnative::xml::escapedLength;
using secnative::xml::XML_ByteTable;

ToXMLStringTool::~ToXMLStringTool() {
    freeBuffer();
}

void ToXMLStringTool::freeBuffer() {
    std::free(buffer);
    buffer = NULL;
    bufferSize = 0;
}

int ToXMLStringTool::lengthXMLString(const char* source) {
    const uint64_t length = escapedLength(source, XML_ByteTable);
    return length > static_cast<uint64_t>(INT_MAX) ? -1 : static_cast<int>(length);
}

char* ToXMLStringTool::toXMLUnSafe(char* destination, const char* source) {
    *secnative::xml::writeEscaped(destination, source, XML_ByteTable) = 0;
    return destination;
}

char* ToXMLStringTool::toXML(const char* source) {
    const uint64_t size = escapedLength(source, XML_ByteTable) + 1;
    if (size > static_cast<uint64_t>(INT_MAX)) return NULL;
    if (static_cast<int>(size) > bufferSize) {
        buffer = static_cast<char*>(secnative::xml::reallocate(buffer, size));
        bufferSize = static_cast<int>(size);
    }
    return toXMLUnSafe(buffer, source);
}
