// Entity and character-reference decoding.
//
// Only the five predefined entities exist, matched without regard to case,
// and numeric references stand for single byte values 1 to 255. Decoding
// runs in two passes, a measuring one that also finds unterminated
// references and unknown entities, and a writing one, so that the output is
// allocated once at its exact size.
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

// Whether text starts with entity (lower case), ignoring the case of ASCII
// letters: no other byte folds to one of the letters of the five entities.
bool startsWithEntity(const char* text, const XMLEntity& entity) {
    for (int i = 0; i < entity.entityLength; ++i) {
        char e = entity.entity[i];
        char t = text[i];
        if (t != e && !(e >= 'a' && e <= 'z' && t == e - 'a' + 'A')) return false;
    }
    return true;
}

// The entity that text (with at least remaining bytes to read) starts with:
// the first row, in table order, that matches without regard to case. The
// letter after "&" picks the rows worth comparing.
const XMLEntity* matchEntity(const char* text, int remaining) {
    int first;
    int second = -1;
    switch (text[1] | 0x20) {
        case 'a':
            first = 0, second = 4;
            break;  // &amp; &apos;
        case 'l':
            first = 1;
            break;
        case 'g':
            first = 2;
            break;
        case 'q':
            first = 3;
            break;
        default:
            return NULL;
    }
    const int rows[2] = {first, second};
    for (int row : rows) {
        if (row < 0) break;
        const XMLEntity* e = &XMLEntities[row];
        if (e->entityLength <= remaining && startsWithEntity(text, *e)) return e;
    }
    return NULL;
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

char* decodeText(const char* text, int length, XML* state) {
    if (length > 0 && std::memchr(text, '&', static_cast<size_t>(length))) {
        return fromXMLString(text, length, state);
    }
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    char* copy = static_cast<char*>(allocate(n + 1));
    std::memcpy(copy, text, n);
    copy[n] = 0;
    return copy;
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
