// Character encodings: byte-length tables, the encoding guess, wide-text
// detection and the wide-to-multibyte conversion.
#include "xml/xml_encoding.h"

#include <strings.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "xml/xml_parser.h"

namespace secnative::xml {

namespace {

struct ByteRange {
    int first;
    int last;
    signed char length;
};

// Every byte is one character except NUL (0) and the given ranges.
constexpr ByteLengthTable makeByteTable(const ByteRange* ranges, size_t count) {
    ByteLengthTable table{};
    for (int c = 1; c < 256; ++c) table.length[c] = 1;
    for (size_t i = 0; i < count; ++i) {
        for (int c = ranges[i].first; c <= ranges[i].last; ++c) table.length[c] = ranges[i].length;
    }
    return table;
}

template <size_t N>
constexpr ByteLengthTable makeByteTable(const ByteRange (&ranges)[N]) {
    return makeByteTable(ranges, N);
}

constexpr ByteRange kUtf8Ranges[] = {{0xC2, 0xDF, 2}, {0xE0, 0xEF, 3}, {0xF0, 0xF4, 4}};
constexpr ByteRange kSjisRanges[] = {{0x81, 0x9F, 2}, {0xE0, 0xEF, 2}};
constexpr ByteRange kGb2312Ranges[] = {{0xA1, 0xF7, 2}};
constexpr ByteRange kGbkBig5Ranges[] = {{0x81, 0xFE, 2}};

// The writer's escaping skips ASCII in whole blocks, which is only right
// while every multibyte lead byte lies from 0x80 up.
template <size_t N>
constexpr bool leadsAreHigh(const ByteRange (&ranges)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (ranges[i].first < 0x80) return false;
    }
    return true;
}
static_assert(leadsAreHigh(kUtf8Ranges) && leadsAreHigh(kSjisRanges) &&
                  leadsAreHigh(kGb2312Ranges) && leadsAreHigh(kGbkBig5Ranges),
              "multibyte lead bytes");

constexpr ScanTables makeScanTables(const ByteLengthTable& bytes) {
    ScanTables t{};
    for (int c = 0; c < 256; ++c) {
        bool special = bytes.length[c] != 1;  // NUL or a multibyte lead
        t.content[c] = special || c == '<';
        t.text[c] = special || isXmlSpace(static_cast<unsigned char>(c)) || c == '<' || c == '>' ||
                    c == '=' || c == '/';
        t.quoted[c] = special || c == '"' || c == '\'' || c == '<';
        t.entity[c] = special || c == '&';
        t.escape[c] = special || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
    }
    return t;
}

}  // namespace

constexpr ByteLengthTable XML_utf8ByteTable = makeByteTable(kUtf8Ranges);
constexpr ByteLengthTable XML_legacyByteTable = makeByteTable(nullptr, 0);
constexpr ByteLengthTable XML_sjisByteTable = makeByteTable(kSjisRanges);
constexpr ByteLengthTable XML_gb2312ByteTable = makeByteTable(kGb2312Ranges);
constexpr ByteLengthTable XML_gbk_big5_ByteTable = makeByteTable(kGbkBig5Ranges);

static_assert(XML_utf8ByteTable.length[0] == 0 && XML_utf8ByteTable.length[0xC1] == 1 &&
                  XML_utf8ByteTable.length[0xC2] == 2 && XML_utf8ByteTable.length[0xF4] == 4 &&
                  XML_utf8ByteTable.length[0xF5] == 1,
              "UTF-8 lead bytes");
static_assert(XML_sjisByteTable.length[0xA0] == 1 && XML_sjisByteTable.length[0xEF] == 2,
              "Shift-JIS lead bytes");

namespace {
constexpr ScanTables kUtf8Scan = makeScanTables(XML_utf8ByteTable);
constexpr ScanTables kLegacyScan = makeScanTables(XML_legacyByteTable);
constexpr ScanTables kSjisScan = makeScanTables(XML_sjisByteTable);
constexpr ScanTables kGb2312Scan = makeScanTables(XML_gb2312ByteTable);
constexpr ScanTables kGbkBig5Scan = makeScanTables(XML_gbk_big5_ByteTable);
}  // namespace

XMLNode::XMLCharEncoding characterEncoding = XMLNode::encodingUTF8;
const signed char* XML_ByteTable = XML_utf8ByteTable.length;
char guessWideCharChars = 1;

const signed char* byteTableFor(int encoding) {
    switch (encoding) {
        case XMLNode::encodingUTF8:
            return XML_utf8ByteTable.length;
        case XMLNode::encodingLegacy:
            return XML_legacyByteTable.length;
        case XMLNode::encodingShiftJIS:
            return XML_sjisByteTable.length;
        case XMLNode::encodingGB2312:
            return XML_gb2312ByteTable.length;
        case XMLNode::encodingBig5:
        case XMLNode::encodingGBK:
            return XML_gbk_big5_ByteTable.length;
        default:
            return NULL;
    }
}

const ScanTables& scanTablesFor(const signed char* byteTable) {
    if (byteTable == XML_legacyByteTable.length) return kLegacyScan;
    if (byteTable == XML_sjisByteTable.length) return kSjisScan;
    if (byteTable == XML_gb2312ByteTable.length) return kGb2312Scan;
    if (byteTable == XML_gbk_big5_ByteTable.length) return kGbkBig5Scan;
    return kUtf8Scan;
}

namespace {

// True when the bytes break UTF-8: a lead byte not followed (within the
// buffer) by the continuation bytes it announces.
bool violatesUtf8(const unsigned char* bytes, int length) {
    int i = 0;
    while (i < length && bytes[i]) {
        // Table entries are lengths, 0 to 4.
        int n = static_cast<unsigned char>(XML_utf8ByteTable.length[bytes[i]]);
        for (int j = 1; j < n && i + j < length; ++j) {
            if ((bytes[i + j] & 0xC0) != 0x80) return true;
        }
        i += n;
    }
    return false;
}

const char* skipSpaces(const char* p) {
    while (isXmlSpace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// The encoding named by an encoding="..." declaration in the first bytes, or
// the guess from the bytes themselves when there is none.
XMLNode::XMLCharEncoding declaredEncoding(const char* buffer, int length,
                                          XMLNode::XMLCharEncoding guess) {
    char head[201];
    int n = length < 200 ? length : 200;
    std::memcpy(head, buffer, static_cast<size_t>(n));
    head[n] = 0;
    const char* p = std::strstr(head, "encoding");
    if (!p) return guess;
    p = skipSpaces(p + 8);
    if (*p != '=') return guess;
    p = skipSpaces(p + 1);
    if (*p != '"' && *p != '\'') return guess;
    p = skipSpaces(p + 1);

    if (!strncasecmp(p, "utf-8", 5) || !strncasecmp(p, "utf8", 4)) {
        return guess == XMLNode::encodingLegacy ? XMLNode::encodingError : XMLNode::encodingUTF8;
    }
    if (!strncasecmp(p, "shiftjis", 8) || !strncasecmp(p, "shift-jis", 9) ||
        !strncasecmp(p, "sjis", 4)) {
        return XMLNode::encodingShiftJIS;
    }
    if (!strncasecmp(p, "GB2312", 6)) return XMLNode::encodingGB2312;
    if (!strncasecmp(p, "Big5", 4)) return XMLNode::encodingBig5;
    if (!strncasecmp(p, "GBK", 3)) return XMLNode::encodingGBK;
    return XMLNode::encodingLegacy;
}

}  // namespace

}  // namespace secnative::xml

XMLNode::XMLCharEncoding XMLNode::guessCharEncoding(const void* buffer, int length,
                                                    char useEncodingAttribute) {
    using namespace secnative::xml;
    if (!buffer || length < 25) return encodingError;
    if (guessWideCharChars && myIsTextWideChar(buffer, length)) return encodingError;
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return encodingUTF8;
    XMLCharEncoding guess = violatesUtf8(bytes, length) ? encodingLegacy : encodingUTF8;
    if (!useEncodingAttribute) return guess;
    return declaredEncoding(static_cast<const char*>(buffer), length, guess);
}

char myIsTextWideChar(const void* buffer, int length) {
    if (!buffer || length < 4 || (length & 1)) return 0;
    // Units are copied out byte by byte, so the buffer may sit at any address
    // and every build gives the same answer for the same bytes.
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    uint16_t first;
    std::memcpy(&first, bytes, sizeof first);
    if (first == 0xFEFF || first == 0xFFFE) return 1;

    int k = length / 4 < 256 ? length / 4 : 256;
    int small = 0;
    bool anyZero = false;
    for (int i = 0; i < k; ++i) {
        int32_t unit;
        std::memcpy(&unit, bytes + 4 * i, sizeof unit);
        if (unit <= 255) ++small;
        if (unit == 0) anyZero = true;
    }
    return (small > k / 2 || anyZero) ? 1 : 0;
}

char* myWideCharToMultiByte(const wchar_t* text) {
    if (!text) return NULL;
    std::mbstate_t state{};
    const wchar_t* source = text;
    size_t length = std::wcsrtombs(NULL, &source, 0, &state);
    if (length == static_cast<size_t>(-1)) return NULL;
    char* result = static_cast<char*>(std::malloc(length + 1));
    if (!result) return NULL;
    state = std::mbstate_t{};
    source = text;
    std::wcsrtombs(result, &source, length + 1, &state);
    result[length] = 0;
    return result;
}
