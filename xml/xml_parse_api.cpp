// The parser's entry points: parseString, parseFile and openFileHelper, the
// error messages, the process-wide options and the version string.
#include "xml/xml_parse_api.h"

#include <strings.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xml/xml_encoding.h"
#include "xml/xml_item_index.h"
#include "xml/xml_parse_run.h"
#include "xml/xml_parser.h"

namespace secnative::xml {

char dropWhiteSpace = 1;
char removeCommentsInMiddleOfText = 1;

namespace {

const char* const kErrorMessages[] = {
    "No error",
    "Warning: Unmatched end tag",
    "Warning: No XML tag found",
    "Error: No XML data",
    "Error: Missing start tag name",
    "Error: Missing end tag name",
    "Error: Unmatched end tag",
    "Error: Unmatched clear tag end",
    "Error: Unexpected token found",
    "Error: No elements found",
    "Error: File not found",
    "Error: First Tag not found",
    "Error: Unknown character entity",
    "Error: Character code above 255 is forbidden in MultiByte char mode.",
    "Error: unable to convert between WideChar and MultiByte chars",
    "Error: unable to open file for writing",
    "Error: cannot write into file",
    "Warning: Base64-string length is not a multiple of 4",
    "Error: Base64-string contains an illegal character",
    "Warning: Base64-string is truncated",
    "Error: Base64 decode output buffer is too small",
};
static_assert(sizeof kErrorMessages / sizeof kErrorMessages[0] == errorBase64OutputTooSmall + 1,
              "one message per XMLError code");

void report(XMLResults* results, XMLError error, int line, int column) {
    if (!results) return;
    results->error = error;
    results->line = line;
    results->column = column;
}

}  // namespace

// 1-based line and column of the character at offset position; a
// multibyte character counts as one column.
void locate(const char* text, int position, int* line, int* column) {
    int l = 1;
    int c = 1;
    for (int i = 0; i < position;) {
        if (text[i] == '\n') {
            ++l;
            c = 1;
            ++i;
            continue;
        }
        ++c;
        int n = charLength(text + i, XML_ByteTable);
        if (n == 0) break;
        i += n;
    }
    *line = l;
    *column = c;
}

}  // namespace secnative::xml

using namespace secnative::xml;

XMLNode XMLNode::parseString(const char* text, const char* tag, XMLResults* results) {
    if (!text) {
        report(results, errorNoElements, 0, 0);
        return emptyXMLNode;
    }
    // Offsets are 32-bit: longer texts are refused rather than misread.
    if (std::strlen(text) > static_cast<size_t>(INT_MAX)) {
        report(results, errorNoXMLData, 0, 0);
        return emptyXMLNode;
    }
    XMLNode top(NULL, NULL, 0);
    ParseRun run(text);
    top.ParseXMLElement(&run);

    XMLError error = run.state.error;
    XMLNodeDataTag* t = top.d;
    if (t->childCount == 0) error = warningNoXMLTag;
    XMLNode result = top;
    if (t->childCount == 1 && !t->textCount && !t->clearCount && !t->attributeCount) {
        result = t->children[0];
    }
    if (error <= warningNoXMLTag && tag && *tag &&
        (!result.d->name || strcasecmp(result.d->name, tag) != 0)) {
        const int named = childIndex(result.d, tag);
        if (named < 0) {
            report(results, errorFirstTagNotFound, 0, 0);
            return emptyXMLNode;
        }
        result = XMLNode(result.d->children[named]);
    }
    if (error >= errorNoXMLData) result = emptyXMLNode;
    if (results) {
        results->error = error;
        if (error != errorNone) {
            int at = error == warningUnmatchedEndTag ? run.state.missingEndTagPosition
                                                     : run.state.position;
            locate(text, at, &results->line, &results->column);
        }
    }
    return result;
}

const char* XMLNode::getError(XMLError error) {
    int code = static_cast<int>(error);
    if (code < 0 || code > errorBase64OutputTooSmall) return "Unknown";
    return kErrorMessages[code];
}

int XMLNode::setGlobalOptions(XMLCharEncoding encoding, char guessWideChars, char dropSpace,
                              char removeComments) {
    guessWideCharChars = guessWideChars;
    dropWhiteSpace = dropSpace;
    removeCommentsInMiddleOfText = removeComments;
    const signed char* table = byteTableFor(encoding);
    if (!table) return 1;
    XML_ByteTable = table;
    characterEncoding = encoding;
    return 0;
}

const char* XMLNode::getVersion() {
    return "v2.39";
}

XMLNode XMLNode::openFileHelper(const char* fileName, const char* tag) {
    if (FILE* f = fileName ? std::fopen(fileName, "rb") : NULL) {
        char head[200];
        size_t n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
        setGlobalOptions(guessCharEncoding(head, static_cast<int>(n), 1), guessWideCharChars,
                         dropWhiteSpace, removeCommentsInMiddleOfText);
    }
    XMLResults results;
    XMLNode node = parseFile(fileName, tag, &results);
    if (results.error == errorNone) return node;

    // Printed straight from the format: no intermediate buffer whose size a
    // long file name or tag could exceed.
    node = emptyXMLNode;
    bool firstTag = results.error == errorFirstTagNotFound;
    std::printf("XML Parsing error inside file '%s'.\n%s\nAt line %i, column %i.\n%s%s%s",
                fileName ? fileName : "", getError(results.error), results.line, results.column,
                firstTag ? "First Tag should be '" : "", firstTag && tag ? tag : "",
                firstTag ? "'.\n" : "");
    std::exit(255);
}
