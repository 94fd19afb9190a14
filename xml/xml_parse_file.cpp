// parseFile: reads a whole file, converts wide-character text, skips a
// byte-order mark and parses the rest.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "xml/xml_encoding.h"
#include "xml/xml_model.h"
#include "xml/xml_parser.h"

namespace {

using secnative::xml::allocate;

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

    void read(FILE* f, size_t size) {
        size_t units = (size + 4) / sizeof(wchar_t) + 2;
        capacity = units * sizeof(wchar_t);
        wide = static_cast<wchar_t*>(allocate(capacity));
        bytesRead = std::fread(bytes(), 1, size, f);
        std::memset(bytes() + bytesRead, 0, capacity - bytesRead);
    }

    // Drops the first n bytes, keeping the text at the buffer's start.
    void skip(size_t n) {
        std::memmove(bytes(), bytes() + n, capacity - n);
        std::memset(bytes() + capacity - n, 0, n);
        bytesRead -= n;
    }
};

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

}  // namespace

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
    text.read(f, static_cast<size_t>(size));
    std::fclose(f);

    if (secnative::xml::guessWideCharChars &&
        myIsTextWideChar(text.bytes(), static_cast<int>(text.bytesRead))) {
        text.skip(wideMarkLength(text));
        char* converted = myWideCharToMultiByte(text.wide);
        if (!converted) {
            report(results, errorCharConversion);
            return emptyXMLNode;
        }
        XMLNode node = parseString(converted, tag, results);
        std::free(converted);
        return node;
    }
    const char* start = text.bytes();
    if (secnative::xml::guessWideCharChars && text.bytesRead >= 3 &&
        !std::memcmp(start, "\xEF\xBB\xBF", 3)) {
        start += 3;
    }
    return parseString(start, tag, results);
}
