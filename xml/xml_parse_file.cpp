// parseFile: reads a whole file, converts wide-character text, skips a
// byte-order mark and parses the rest; parseFileData does the same with bytes
// its caller has read. The parser reads NUL-terminated text,
// so a NUL inside a file's data is refused instead of ending the document
// early.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "xml/xml_encoding.h"
#include "xml/xml_model.h"
#include "xml/xml_parse_api.h"
#include "xml/xml_parse_file.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

namespace {

void report(XMLResults* results, XMLError error) {
    if (results) results->error = error;
}

// Size of an open file, or -1 when it cannot be told.
long fileSize(FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long size = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

// A file's bytes in a buffer of wide characters, so that wide text can be
// converted in place without reinterpreting a byte pointer. At least one
// whole zero wide character (and so at least four zero bytes) follows the
// data read.
struct FileText {
    wchar_t* wide = NULL;
    size_t bytesRead = 0;
    size_t capacity = 0;  // in bytes

    ~FileText() { std::free(wide); }
    char* bytes() { return reinterpret_cast<char*>(wide); }

    // Room for size bytes and the zeros behind them; returns the start.
    char* reserve(size_t size) {
        size_t units = (size + 4) / sizeof(wchar_t) + 2;
        capacity = units * sizeof(wchar_t);
        wide = static_cast<wchar_t*>(allocate(capacity));
        return bytes();
    }
    // Takes the first n bytes of the reserved room as the data.
    void keep(size_t n) {
        bytesRead = n;
        std::memset(bytes() + bytesRead, 0, capacity - bytesRead);
    }

    // Drops the first n bytes, keeping the text at the buffer's start.
    void skip(size_t n) {
        std::memmove(bytes(), bytes() + n, capacity - n);
        std::memset(bytes() + capacity - n, 0, n);
        bytesRead -= n;
    }
};

// Index of the first NUL in units [0, count) that has something other than
// NULs after it, or count when there is none. NULs that only pad the end of a
// file (a C string written with its terminator) lose nothing and are let be.
template <typename Unit>
size_t innerNul(const Unit* units, size_t count) {
    size_t end = count;
    while (end > 0 && units[end - 1] == 0) --end;
    for (size_t i = 0; i < end; ++i) {
        if (units[i] == 0) return i;
    }
    return count;
}

// Reports a NUL inside the data at offset position of the text before it
// (the text ends there) and gives the empty node the caller returns.
XMLNode refuseNul(const char* text, size_t position, XMLResults* results) {
    if (results) {
        results->error = errorUnexpectedToken;
        locate(text, static_cast<int>(position), &results->line, &results->column);
    }
    return XMLNode::emptyXMLNode;
}

// Bytes of a byte-order mark at the start of wide text: a whole wide
// character U+FEFF, or the two bytes FE FF / FF FE.
size_t wideMarkLength(const FileText& text) {
    wchar_t first;
    std::memcpy(&first, text.wide, sizeof first);
    if (first == 0xFEFF) return sizeof(wchar_t);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(text.wide);
    if ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE)) return 2;
    return 0;
}

// Parses the data held by text: converted when it is wide-character text,
// after a byte-order mark, and refused at a NUL that has data after it.
XMLNode parseText(FileText& text, const char* tag, XMLResults* results) {
    if (guessWideCharChars && myIsTextWideChar(text.bytes(), static_cast<int>(text.bytesRead))) {
        text.skip(wideMarkLength(text));
        // Whole units are looked at, a last partial one padded with zeros:
        // the zero bytes inside wide characters are no NULs.
        const size_t units = (text.bytesRead + sizeof(wchar_t) - 1) / sizeof(wchar_t);
        const bool nul = innerNul(text.wide, units) < units;
        char* converted = myWideCharToMultiByte(text.wide);
        if (!converted) {
            report(results, errorCharConversion);
            return XMLNode::emptyXMLNode;
        }
        // The conversion stops at the NUL: the converted text ends where
        // it stands.
        XMLNode node = nul ? refuseNul(converted, std::strlen(converted), results)
                           : XMLNode::parseString(converted, tag, results);
        std::free(converted);
        return node;
    }
    const char* start = text.bytes();
    if (guessWideCharChars && text.bytesRead >= 3 && !std::memcmp(start, "\xEF\xBB\xBF", 3)) {
        start += 3;
    }
    const size_t length = text.bytesRead - static_cast<size_t>(start - text.bytes());
    const size_t nul = innerNul(start, length);
    if (nul < length) return refuseNul(start, nul, results);
    return XMLNode::parseString(start, tag, results);
}

}  // namespace

XMLNode parseFileData(const void* data, size_t size, const char* tag, XMLResults* results) {
    if (results) results->line = results->column = 0;
    if (size == 0 || size > static_cast<size_t>(INT_MAX)) {
        report(results, errorNoXMLData);
        return XMLNode::emptyXMLNode;
    }
    FileText text;
    std::memcpy(text.reserve(size), data, size);
    text.keep(size);
    return parseText(text, tag, results);
}

}  // namespace secnative::xml

using namespace secnative::xml;

XMLNode XMLNode::parseFile(const char* fileName, const char* tag, XMLResults* results) {
    if (results) results->line = results->column = 0;
    FILE* f = fileName ? std::fopen(fileName, "rb") : NULL;
    if (!f) {
        report(results, errorFileNotFound);
        return emptyXMLNode;
    }
    long size = fileSize(f);
    // Offsets are 32-bit: a file longer than INT_MAX bytes (or one whose size
    // cannot be told) is refused like an empty one.
    if (size <= 0 || size > static_cast<long>(INT_MAX)) {
        std::fclose(f);
        report(results, errorNoXMLData);
        return emptyXMLNode;
    }
    FileText text;
    text.keep(std::fread(text.reserve(static_cast<size_t>(size)), 1, static_cast<size_t>(size), f));
    std::fclose(f);
    return parseText(text, tag, results);
}
