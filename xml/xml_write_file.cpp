// XMLNode::writeToFile: a tree as an XML file, preceded by a byte-order mark
// and a declaration line as the current encoding asks.
#include <cstdio>

#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"
#include "xml/xml_replace_file.h"

namespace {

using secnative::xml::characterEncoding;

// Everything that goes into the file, in order.
struct FileContent {
    bool byteOrderMark;            // EF BB BF
    const char* declaredEncoding;  // named in the declaration line; NULL: no line
    const char* text;              // the tree
    int length;
};

bool writeContent(FILE* f, const void* data) {
    const FileContent* c = static_cast<const FileContent*>(data);
    if (c->byteOrderMark && std::fwrite("\xEF\xBB\xBF", 3, 1, f) != 1) return false;
    if (c->declaredEncoding &&
        std::fprintf(f, "<?xml version=\"1.0\" encoding=\"%s\"?>\n", c->declaredEncoding) < 0) {
        return false;
    }
    // The tree goes in one block; an empty text counts as a failed write.
    return c->length > 0 && std::fwrite(c->text, static_cast<size_t>(c->length), 1, f) == 1;
}

// The encoding the declaration line names: fixed for UTF-8 and Shift-JIS,
// the caller's choice for the others.
const char* declaredEncodingName(const char* callerName) {
    switch (characterEncoding) {
        case XMLNode::encodingUTF8:
            return "utf-8";
        case XMLNode::encodingShiftJIS:
            return "SHIFT-JIS";
        default:
            return callerName ? callerName : "ISO-8859-1";
    }
}

}  // namespace

XMLError XMLNode::writeToFile(const char* fileName, const char* encoding, char format) const {
    if (!d) return errorNone;
    // A tree that starts with its own declaration gets no second one.
    bool startsDeclared = isDeclaration() || (!getName() && getChildNode(0).isDeclaration());

    FileContent content;
    content.byteOrderMark = characterEncoding == encodingUTF8;
    content.declaredEncoding = startsDeclared ? NULL : declaredEncodingName(encoding);
    content.length = 0;
    char* text = createXMLString(format, &content.length);
    content.text = text;

    secnative::xml::ReplaceResult result =
        secnative::xml::writeFileReplacing(fileName, writeContent, &content);
    freeXMLString(text);
    switch (result) {
        case secnative::xml::replaceWritten:
            return errorNone;
        case secnative::xml::replaceCannotOpen:
            return errorCannotOpenWriteFile;
        case secnative::xml::replaceCannotWrite:
            break;
    }
    return errorCannotWriteFile;
}
