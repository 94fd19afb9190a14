// XMLParserBase64Tool: Base64 text for binary data in XML and back.
//
// Encoding turns each group of three bytes into four characters with two
// lookups in a table of character pairs (one per 12 bits). Decoding walks
// the text group by group with the checks below, which decide every
// outcome; while whole groups of four symbols lie ahead and the output has
// room for their three bytes, they are decoded in a tight loop that no
// check could stop. Only bytes are read and written, so the result does not
// depend on the machine's byte order or word size.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "xml/xml_model.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

namespace {

constexpr char base64EncodeTable[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Classes of text bytes other than the 64 symbols, whose table entries are
// their 6-bit values. Every class has bit 6 set and no symbol has, so one
// test of kNotSymbol on the OR of several entries tells whether all are
// symbols.
constexpr unsigned char kPad = 96;
constexpr unsigned char kSpace = 97;
constexpr unsigned char kIllegal = 98;
constexpr unsigned char kEnd = 99;
constexpr unsigned char kNotSymbol = 64;

struct DecodeTable {
    unsigned char value[256];
};

constexpr DecodeTable makeDecodeTable() {
    DecodeTable table{};
    // std::fill is not constexpr before C++20.
    // cppcheck-suppress useStlAlgorithm
    for (unsigned char& v : table.value) v = kIllegal;
    for (int i = 0; i < 64; ++i) table.value[static_cast<unsigned char>(base64EncodeTable[i])] = i;
    table.value[static_cast<unsigned char>('=')] = kPad;
    table.value[static_cast<unsigned char>('\t')] = kSpace;
    table.value[static_cast<unsigned char>('\n')] = kSpace;
    table.value[static_cast<unsigned char>('\r')] = kSpace;
    table.value[static_cast<unsigned char>(' ')] = kSpace;
    table.value[0] = kEnd;
    return table;
}

constexpr DecodeTable base64DecodeTable = makeDecodeTable();

// base64DecodeTable's values moved to their place in a group of four
// symbols, one table per place; kNotSymbolBit marks every other byte.
constexpr uint32_t kNotSymbolBit = 0x80000000u;

struct PlacedTables {
    uint32_t place[4][256];
};

constexpr PlacedTables makePlacedTables() {
    PlacedTables tables{};
    for (int i = 0; i < 4; ++i) {
        for (int b = 0; b < 256; ++b) {
            const uint32_t v = base64DecodeTable.value[b];
            tables.place[i][b] = (v & kNotSymbol) ? kNotSymbolBit : v << (18 - 6 * i);
        }
    }
    return tables;
}

constexpr PlacedTables kPlaced = makePlacedTables();

// The two characters for every 12-bit value.
struct PairTable {
    char pair[4096][2];
};

constexpr PairTable makePairTable() {
    PairTable table{};
    for (int v = 0; v < 4096; ++v) {
        table.pair[v][0] = base64EncodeTable[v >> 6];
        table.pair[v][1] = base64EncodeTable[v & 63];
    }
    return table;
}

constexpr PairTable kPairs = makePairTable();

// A line feed follows every 18th group of three bytes (72 characters).
constexpr unsigned kGroupsPerLine = 18;

// Buffer bytes for the text of length bytes, NUL included; 5 for none.
uint64_t encodedSize(uint64_t length, char lineBreaks) {
    uint64_t size = length ? 4 * ((length - 1) / 3) + 5 : 5;
    if (lineBreaks) size += length / (3 * kGroupsPerLine);
    return size;
}

char* encodeGroups(const unsigned char* in, size_t groups, char* out) {
    for (size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        const unsigned v =
            (static_cast<unsigned>(in[0]) << 16) | (static_cast<unsigned>(in[1]) << 8) | in[2];
        std::memcpy(out, kPairs.pair[v >> 12], 2);
        std::memcpy(out + 2, kPairs.pair[v & 0xFFF], 2);
    }
    return out;
}

// The class or value of the next byte that is not whitespace; p moves
// behind it unless it is the terminating NUL.
inline unsigned char nextSymbol(const unsigned char*& p) {
    unsigned char k;
    while ((k = base64DecodeTable.value[*p]) == kSpace) ++p;
    if (k != kEnd) ++p;
    return k;
}

inline unsigned char outcome(XMLError* error, XMLError code, unsigned char result) {
    if (error) *error = code;
    return result;
}

// Decodes Base64 text into output; *written receives the number of bytes written,
// which never exceeds outputSize.
unsigned char decodeBase64Into(const char* text, unsigned char* output, int outputSize,
                               XMLError* error, int64_t* written) {
    if (error) *error = errorNone;
    if (!text) text = "";
    const uint32_t(&P)[4][256] = kPlaced.place;
    const int64_t limit = outputSize < 0 ? 0 : outputSize;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = p + std::strlen(text);
    int64_t& j = *written;
    j = 0;
    for (;;) {
        // Whole groups of four symbols with room for their three bytes.
        int64_t groups = (end - p) / 4;
        if ((limit - j) / 3 < groups) groups = (limit - j) / 3;
        unsigned char* o = output + j;
        for (; groups > 0; --groups, p += 4, o += 3) {
            const uint32_t v = P[0][p[0]] | P[1][p[1]] | P[2][p[2]] | P[3][p[3]];
            if (v & kNotSymbolBit) break;
            o[0] = static_cast<unsigned char>(v >> 16);
            o[1] = static_cast<unsigned char>(v >> 8);
            o[2] = static_cast<unsigned char>(v);
        }
        j = o - output;

        const unsigned char c1 = nextSymbol(p);
        if (c1 == kIllegal) return outcome(error, errorBase64IllegalCharacter, 0);
        if (c1 == kEnd) return 2;
        if (c1 == kPad) return j == limit ? 2 : outcome(error, warningBase64Truncated, 1);

        const unsigned char c2 = nextSymbol(p);
        if (c2 == kIllegal) return outcome(error, errorBase64IllegalCharacter, 0);
        if (c2 == kEnd || c2 == kPad) return outcome(error, warningBase64Truncated, 1);
        if (j == limit) return outcome(error, errorBase64OutputTooSmall, 0);
        output[j++] = static_cast<unsigned char>((c1 << 2) | (c2 >> 4));

        const unsigned char c3 = nextSymbol(p);
        if (c3 == kIllegal) return outcome(error, errorBase64IllegalCharacter, 0);
        if (c3 == kEnd) return outcome(error, warningBase64Truncated, 1);
        if (j == limit) return c3 == kPad ? 2 : outcome(error, errorBase64OutputTooSmall, 0);
        if (c3 == kPad) return outcome(error, warningBase64Truncated, 1);
        output[j++] = static_cast<unsigned char>(((c2 & 15) << 4) | (c3 >> 2));

        const unsigned char c4 = nextSymbol(p);
        if (c4 == kIllegal) return outcome(error, errorBase64IllegalCharacter, 0);
        if (c4 == kEnd) return outcome(error, warningBase64Truncated, 1);
        if (j == limit) return c4 == kPad ? 2 : outcome(error, errorBase64OutputTooSmall, 0);
        if (c4 == kPad) return outcome(error, warningBase64Truncated, 1);
        output[j++] = static_cast<unsigned char>(((c3 & 3) << 6) | c4);
    }
}

}  // namespace

}  // namespace secnative::xml

using secnative::xml::base64DecodeTable;

XMLParserBase64Tool::~XMLParserBase64Tool() {
    freeBuffer();
}

int XMLParserBase64Tool::encodeLength(int length, char lineBreaks) {
    if (length < 0) return 0;
    const uint64_t size = secnative::xml::encodedSize(static_cast<uint64_t>(length), lineBreaks);
    return size > INT_MAX ? 0 : static_cast<int>(size);
}

char* XMLParserBase64Tool::encode(unsigned char* data, unsigned int length, char lineBreaks) {
    using secnative::xml::base64EncodeTable;
    using secnative::xml::encodeGroups;
    const uint64_t size = secnative::xml::encodedSize(length, lineBreaks);
    if (size > INT_MAX) return NULL;
    char* out = static_cast<char*>(alloc(static_cast<int>(size)));
    const unsigned char* in = data;
    size_t groups = length / 3;
    if (lineBreaks) {
        for (; groups >= secnative::xml::kGroupsPerLine; groups -= secnative::xml::kGroupsPerLine) {
            out = encodeGroups(in, secnative::xml::kGroupsPerLine, out);
            in += 3 * secnative::xml::kGroupsPerLine;
            *out++ = '\n';
        }
    }
    out = encodeGroups(in, groups, out);
    in += 3 * groups;
    if (length % 3 == 1) {
        out[0] = base64EncodeTable[in[0] >> 2];
        out[1] = base64EncodeTable[(in[0] << 4) & 63];
        out[2] = '=';
        out[3] = '=';
        out += 4;
    } else if (length % 3 == 2) {
        const unsigned v = (static_cast<unsigned>(in[0]) << 8) | in[1];
        out[0] = base64EncodeTable[v >> 10];
        out[1] = base64EncodeTable[(v >> 4) & 63];
        out[2] = base64EncodeTable[(v << 2) & 63];
        out[3] = '=';
        out += 4;
    }
    *out = 0;
    return static_cast<char*>(buffer);
}

int XMLParserBase64Tool::decodeSize(const char* text, XMLError* error) {
    using secnative::xml::kPad;
    using secnative::xml::kSpace;
    if (error) *error = errorNone;
    if (!text) return 0;
    const unsigned char* const start = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* p = start;
    uint64_t n = 0;
    for (;; ++p) {
        const unsigned char k = base64DecodeTable.value[*p];
        if (k <= kPad) {
            ++n;
        } else if (k != kSpace) {
            if (k == secnative::xml::kEnd) break;
            if (error) *error = errorBase64IllegalCharacter;
            return 0;
        }
    }
    if (n % 4 && error) *error = warningBase64LengthNotMultipleOf4;
    if (!n) return 0;
    // The pads that end the text, also across whitespace behind and between
    // them; a pad inside the text counts like a symbol.
    uint64_t pads = 0;
    while (p != start) {
        const unsigned char k = base64DecodeTable.value[*--p];
        if (k == kPad) {
            ++pads;
        } else if (k != kSpace) {
            break;
        }
    }
    const uint64_t size = 3 * (n - pads) / 4;
    return size > INT_MAX ? 0 : static_cast<int>(size);
}

unsigned char XMLParserBase64Tool::decode(const char* text, unsigned char* output, int outputSize,
                                          XMLError* error) {
    int64_t written = 0;
    return secnative::xml::decodeBase64Into(text, output, outputSize, error, &written);
}

unsigned char* XMLParserBase64Tool::decode(const char* text, int* size, XMLError* error) {
    const int m = decodeSize(text, error);
    if (size) *size = 0;
    if (!m) return NULL;
    // One spare byte, as callers may rely on; it is left unset.
    unsigned char* out = static_cast<unsigned char*>(alloc(m < INT_MAX ? m + 1 : m));
    int64_t written = 0;
    if (!secnative::xml::decodeBase64Into(text, out, m, error, &written)) return NULL;
    if (size) *size = static_cast<int>(written);
    return out;
}

void* XMLParserBase64Tool::alloc(int size) {
    if (size > bufferSize) {
        const size_t bytes = static_cast<size_t>(size);
        buffer =
            buffer ? secnative::xml::reallocate(buffer, bytes) : secnative::xml::allocate(bytes);
        bufferSize = size;
    }
    return buffer;
}

void XMLParserBase64Tool::freeBuffer() {
    std::free(buffer);
    buffer = NULL;
    bufferSize = 0;
}
