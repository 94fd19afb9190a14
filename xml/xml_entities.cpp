// Entity and character-reference decoding.
//
// Only the five predefined entities exist, matched without regard to case,
// and numeric references stand for single byte values 1 to 255.
// fromXMLString runs in two passes, a measuring one that also finds
// unterminated references and unknown entities, and a writing one, so that
// the output is allocated once at its exact size. The parser decodes its
// texts and values in one pass into a buffer instead and copies the result;
// only a text with a reference that does not decode goes the two-pass way,
// which decides the error code.
#include <cstdlib>
#include <cstring>

#include "xml/xml_lexer.h"
#include "xml/xml_node_access.h"

namespace secnative::xml {

const XMLEntity XMLEntities[] = {
    {"&amp;", 5, '&'},  {"&lt;", 4, '<'},    {"&gt;", 4, '>'},
    {"&quot;", 6, '"'}, {"&apos;", 6, '\''}, {NULL, 0, 0},
};

namespace {

// Whether the byte at text is the lower-case ASCII letter letter or its
// capital: only those two bytes differ from it in bit 5 alone.
inline bool isLetter(char text, char letter) {
    return (text | 0x20) == letter;
}

// The entity that text (with at least remaining bytes to read) starts with,
// without regard to the case of its letters, or NULL. The letter after "&"
// picks the rows worth comparing; "&amp;" is tried before "&apos;" as in the
// table.
const XMLEntity* matchEntity(const char* text, int remaining) {
    switch (text[1] | 0x20) {
        case 'a':
            if (remaining >= 5 && isLetter(text[2], 'm') && isLetter(text[3], 'p') &&
                text[4] == ';') {
                return &XMLEntities[0];
            }
            if (remaining >= 6 && isLetter(text[2], 'p') && isLetter(text[3], 'o') &&
                isLetter(text[4], 's') && text[5] == ';') {
                return &XMLEntities[4];
            }
            return NULL;
        case 'l':
            if (remaining >= 4 && isLetter(text[2], 't') && text[3] == ';') return &XMLEntities[1];
            return NULL;
        case 'g':
            if (remaining >= 4 && isLetter(text[2], 't') && text[3] == ';') return &XMLEntities[2];
            return NULL;
        case 'q':
            if (remaining >= 6 && isLetter(text[2], 'u') && isLetter(text[3], 'o') &&
                isLetter(text[4], 't') && text[5] == ';') {
                return &XMLEntities[3];
            }
            return NULL;
        default:
            return NULL;
    }
}

// Bytes from text up to the next "&", NUL or multibyte character, at most
// remaining.
int plainRun(const char* text, int remaining, const unsigned char* stops) {
    int n = 0;
    while (n < remaining && !stops[static_cast<unsigned char>(text[n])]) ++n;
    return n;
}

bool startsCharacterReference(const char* text, int remaining) {
    return remaining >= 3 && text[1] == '#';
}

// Length of the character at text, cut at the end of the remaining bytes.
int boundedCharLength(const char* text, int remaining, const signed char* table) {
    int n = charLength(text, table);
    return n < remaining ? n : remaining;
}

// First pass: the decoded length, or -1 with state->error set.
int measureDecoded(const char* text, int remaining, const signed char* table,
                   const unsigned char* stops, XML* state) {
    int decoded = 0;
    while (remaining > 0 && *text) {
        int plain = plainRun(text, remaining, stops);
        if (plain) {
            text += plain;
            remaining -= plain;
            decoded += plain;
            continue;
        }
        if (*text != '&') {  // a multibyte character
            int n = boundedCharLength(text, remaining, table);
            text += n;
            remaining -= n;
            decoded += n;
            continue;
        }
        if (startsCharacterReference(text, remaining)) {
            int skip = (text[2] == 'x' || text[2] == 'X') ? 3 : 2;
            text += skip;
            remaining -= skip;
            while (remaining > 0 && *text != ';' && *text) {
                ++text;
                --remaining;
            }
            if (remaining <= 0 || *text != ';') {
                state->error = errorUnknownCharacterEntity;
                return -1;
            }
            ++text;
            --remaining;
        } else {
            const XMLEntity* e = matchEntity(text, remaining);
            if (!e) {
                state->error = errorUnknownCharacterEntity;
                return -1;
            }
            text += e->entityLength;
            remaining -= e->entityLength;
        }
        ++decoded;
    }
    return decoded;
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the reference that starts at *text ("&#...;", known to be
// terminated) and moves *text behind it. Returns the byte value, or -1 with
// state->error set. The value saturates, so any number of digits is safe; a
// reference without digits or of value 0 is refused, since a NUL would cut
// the text short.
int readCharacterReference(const char** text, XML* state) {
    const char* p = *text + 2;
    bool hex = *p == 'x' || *p == 'X';
    if (hex) ++p;
    int base = hex ? 16 : 10;
    int value = 0;
    bool anyDigit = false;
    for (; *p != ';'; ++p) {
        int digit = digitValue(*p, hex);
        if (digit < 0) {
            state->error = errorUnknownCharacterEntity;
            return -1;
        }
        anyDigit = true;
        if (value <= 255) value = value * base + digit;
    }
    *text = p + 1;
    if (!anyDigit || value == 0) {
        state->error = errorUnknownCharacterEntity;
        return -1;
    }
    if (value > 255) {
        state->error = errorCharacterCodeAbove255;
        return -1;
    }
    return value;
}

// Second pass: writes the decoded bytes into out. False on a bad reference.
bool writeDecoded(const char* text, int remaining, const signed char* table,
                  const unsigned char* stops, char* out, XML* state) {
    while (remaining > 0 && *text) {
        const char* from = text;
        int plain = plainRun(text, remaining, stops);
        if (plain) {
            std::memcpy(out, text, static_cast<size_t>(plain));
            out += plain;
            text += plain;
        } else if (*text != '&') {
            int n = boundedCharLength(text, remaining, table);
            std::memcpy(out, text, static_cast<size_t>(n));
            out += n;
            text += n;
        } else if (startsCharacterReference(text, remaining)) {
            int value = readCharacterReference(&text, state);
            if (value < 0) return false;
            *out++ = static_cast<char>(value);
        } else {
            const XMLEntity* e = matchEntity(text, remaining);
            *out++ = e->character;
            text += e->entityLength;
        }
        remaining -= static_cast<int>(text - from);
    }
    *out = 0;
    return true;
}

}  // namespace

namespace {

// Reads a character reference at text ("&#" then digits up to ";", at most
// remaining bytes) for the one-pass decoder. Returns the byte value and
// moves *text and *remaining behind the ";", or -1 for anything that is not
// a plain valid reference (the caller then decodes the slow way, which
// reports the right error).
int readReferenceFast(const char** text, int* remaining) {
    const char* p = *text + 2;
    int left = *remaining - 2;
    bool hex = *p == 'x' || *p == 'X';
    if (hex) {
        ++p;
        --left;
    }
    int value = 0;
    bool anyDigit = false;
    for (; left > 0 && *p != ';'; ++p, --left) {
        int digit = digitValue(*p, hex);
        if (digit < 0) return -1;
        anyDigit = true;
        if (value <= 255) value = hex ? value * 16 + digit : value * 10 + digit;
    }
    if (left <= 0 || !anyDigit || value == 0 || value > 255) return -1;
    *text = p + 1;
    *remaining = left - 1;
    return value;
}

// One pass of fromXMLString into out (room for length bytes: decoding
// never lengthens). Returns the decoded length, or -1 when the text holds
// a reference that does not decode.
int decodeOnePass(const char* text, int remaining, const signed char* table,
                  const unsigned char* stops, char* out) {
    char* o = out;
    while (remaining > 0) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (!stops[c]) {
            *o++ = static_cast<char>(c);
            ++text;
            --remaining;
            continue;
        }
        if (c == 0) break;
        if (c != '&') {  // a multibyte character
            int n = boundedCharLength(text, remaining, table);
            for (int i = 0; i < n; ++i) *o++ = text[i];
            text += n;
            remaining -= n;
        } else if (startsCharacterReference(text, remaining)) {
            int value = readReferenceFast(&text, &remaining);
            if (value < 0) return -1;
            *o++ = static_cast<char>(value);
        } else {
            const XMLEntity* e = matchEntity(text, remaining);
            if (!e) return -1;
            *o++ = e->character;
            text += e->entityLength;
            remaining -= e->entityLength;
        }
    }
    return static_cast<int>(o - out);
}

}  // namespace

char* decodeText(const char* text, int length, XML* state) {
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    if (!n || !std::memchr(text, '&', n)) {
        char* copy = static_cast<char*>(allocate(n + 1));
        copyBytes(copy, text, n);
        copy[n] = 0;
        return copy;
    }
    // Decode once into a buffer on the stack (or a temporary block for long
    // texts), then keep an exact copy. Texts with a reference that does not
    // decode take the two-pass path, which tells which error to report.
    const signed char* table = XML_ByteTable;
    const unsigned char* stops = scanTablesFor(table).entity;
    char local[2048];
    char* buffer = n <= sizeof local ? local : static_cast<char*>(allocate(n));
    // The decoding starts at the text, not at the "&": a multibyte character
    // may take an "&" with it as its second byte.
    int decodedLength = decodeOnePass(text, length, table, stops, buffer);
    char* result = NULL;
    if (decodedLength >= 0) {
        size_t decoded = static_cast<size_t>(decodedLength);
        result = static_cast<char*>(allocate(decoded + 1));
        copyBytes(result, buffer, decoded);
        result[decoded] = 0;
    }
    if (buffer != local) std::free(buffer);
    return result ? result : fromXMLString(text, length, state);
}

}  // namespace secnative::xml

char* fromXMLString(const char* text, int length, XML* state) {
    using namespace secnative::xml;
    if (!text) return NULL;
    const signed char* table = XML_ByteTable;
    const unsigned char* stops = scanTablesFor(table).entity;
    int decoded = measureDecoded(text, length, table, stops, state);
    if (decoded < 0) return NULL;
    char* out = static_cast<char*>(allocate(static_cast<size_t>(decoded) + 1));
    if (!writeDecoded(text, length, table, stops, out, state)) {
        std::free(out);
        return NULL;
    }
    return out;
}
