// Entity and character-reference decoding.
//
// Only the five predefined entities exist, matched without regard to case,
// and numeric references stand for single byte values 1 to 255.
//
// One decoder serves fromXMLString and the parser. It reads the text once,
// writing into a block of the text's length plus a NUL (an entity or a
// reference is always longer than the byte it stands for, so decoding never
// lengthens a text), and never reads a byte beyond the given length. A text
// without "&" is copied as it is.
//
// A text that does not decode reports one code, whatever order its faults
// come in: errorUnknownCharacterEntity when an unknown entity or a reference
// without its ";" occurs anywhere; otherwise the code of the first character
// reference that does not stand for a byte (errorUnknownCharacterEntity for
// one without digits, with another byte among them or of value 0,
// errorCharacterCodeAbove255 for one above 255).
#include "xml/xml_entities.h"

#include <cstdlib>
#include <cstring>

#include "xml/xml_encoding.h"
#include "xml/xml_model.h"
#include "xml/xml_parser.h"

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

// The entity that the "&" at text (with remaining bytes to read, at least
// one) starts, without regard to the case of its letters, or NULL. The
// letter after "&" picks the rows worth comparing; "&amp;" is tried before
// "&apos;" as in the table.
const XMLEntity* matchEntity(const char* text, int remaining) {
    if (remaining < 4) return NULL;  // shorter than "&lt;"
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
            if (isLetter(text[2], 't') && text[3] == ';') return &XMLEntities[1];
            return NULL;
        case 'g':
            if (isLetter(text[2], 't') && text[3] == ';') return &XMLEntities[2];
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

// Length of the character at text, cut at a NUL and at the end of the
// remaining bytes; neither is read past.
int boundedCharLength(const char* text, int remaining, const signed char* table) {
    int n = static_cast<unsigned char>(table[static_cast<unsigned char>(*text)]);  // 0 to 4
    if (n > remaining) n = remaining;
    for (int i = 1; i < n; ++i) {
        if (text[i] == 0) return i;
    }
    return n;
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// readCharacterReference's answer for a reference whose ";" does not come
// within the text.
constexpr int kUnterminated = -1;

// Reads the character reference at *text ("&#" and at least one more byte
// within *remaining) up to its ";" and moves *text and *remaining behind
// it. Returns its value, which saturates above 255 so that any number of
// digits is safe; 0 for a reference without digits or with another byte
// among them (value 0 is refused too, since a NUL would cut the text short);
// kUnterminated when a NUL or the end of the text comes before the ";".
int readCharacterReference(const char** text, int* remaining) {
    const char* p = *text + 2;
    int left = *remaining - 2;
    bool hex = *p == 'x' || *p == 'X';
    if (hex) {
        ++p;
        --left;
    }
    int value = 0;
    bool digitsOnly = true;
    for (; left > 0 && *p != ';'; ++p, --left) {
        int digit = digitValue(*p, hex);
        if (digit < 0) {
            if (*p == 0) return kUnterminated;
            digitsOnly = false;
        } else if (value <= 255) {
            value = hex ? value * 16 + digit : value * 10 + digit;
        }
    }
    if (left <= 0) return kUnterminated;
    *text = p + 1;
    *remaining = left - 1;
    return digitsOnly ? value : 0;
}

// Decodes at most remaining bytes of text, up to a NUL, into out, which has
// room for remaining bytes. Returns the decoded length (out is not
// terminated), or -1 with *error set. After a reference that does not stand
// for a byte the text is still read to its end, since an unknown entity or
// an unterminated reference further on decides the code.
int decodeReferences(const char* text, int remaining, const signed char* table,
                     const unsigned char* stops, char* out, XMLError* error) {
    char* o = out;
    XMLError firstBadReference = errorNone;
    while (remaining > 0) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (!stops[c]) {
            *o++ = static_cast<char>(c);
            ++text;
            --remaining;
            continue;
        }
        if (c == 0) break;
        if (c != '&') {  // a multibyte character, copied whole
            int n = boundedCharLength(text, remaining, table);
            for (int i = 0; i < n; ++i) *o++ = text[i];
            text += n;
            remaining -= n;
        } else if (remaining >= 3 && text[1] == '#') {
            int value = readCharacterReference(&text, &remaining);
            if (value == kUnterminated) {
                *error = errorUnknownCharacterEntity;
                return -1;
            }
            if ((value == 0 || value > 255) && firstBadReference == errorNone) {
                firstBadReference =
                    value ? errorCharacterCodeAbove255 : errorUnknownCharacterEntity;
            }
            *o++ = static_cast<char>(value);
        } else {
            const XMLEntity* e = matchEntity(text, remaining);
            if (!e) {
                *error = errorUnknownCharacterEntity;
                return -1;
            }
            *o++ = e->character;
            text += e->entityLength;
            remaining -= e->entityLength;
        }
    }
    if (firstBadReference != errorNone) {
        *error = firstBadReference;
        return -1;
    }
    return static_cast<int>(o - out);
}

}  // namespace

char* decodeText(const char* text, int length, XML* state) {
    size_t n = length > 0 ? static_cast<size_t>(length) : 0;
    if (!n || !std::memchr(text, '&', n)) {
        char* out = static_cast<char*>(allocate(n + 1));
        copyBytes(out, text, n);
        out[n] = 0;
        return out;
    }
    // Decoding never makes text longer. Short texts decode on the stack and
    // long ones in a block of the undecoded size; either way the result is
    // kept in a block of its exact size, as most texts with entities shrink.
    // The decoding starts at the text, not at the "&": a multibyte character
    // may take an "&" with it as its second byte.
    const signed char* table = XML_ByteTable;
    const unsigned char* stops = scanTablesFor(table).entity;
    char local[512];
    if (n < sizeof local) {
        const int decoded = decodeReferences(text, length, table, stops, local, &state->error);
        if (decoded < 0) return NULL;
        char* out = static_cast<char*>(allocate(static_cast<size_t>(decoded) + 1));
        copyBytes(out, local, static_cast<size_t>(decoded));
        out[decoded] = 0;
        return out;
    }
    char* out = static_cast<char*>(allocate(n + 1));
    const int decoded = decodeReferences(text, length, table, stops, out, &state->error);
    if (decoded < 0) {
        std::free(out);
        return NULL;
    }
    if (static_cast<size_t>(decoded) < n) {
        out = static_cast<char*>(reallocate(out, static_cast<size_t>(decoded) + 1));
    }
    out[decoded] = 0;
    return out;
}

}  // namespace secnative::xml

char* fromXMLString(const char* text, int length, XML* state) {
    using namespace secnative::xml;
    if (!text) return NULL;
    // The text ends at a NUL within length; the block decodeText allocates
    // is sized by the bytes before it.
    if (length > 0) {
        const void* nul = std::memchr(text, 0, static_cast<size_t>(length));
        if (nul) length = static_cast<int>(static_cast<const char*>(nul) - text);
    }
    return decodeText(text, length, state);
}
