// XMLNode::writeToFile: a tree as an XML file, preceded by a byte-order mark
// and a declaration line as the current encoding asks.
#include <cstdio>
#include <cstring>

#include "common/file_replacement.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parser.h"

namespace {

using secnative::FileReplacement;
using secnative::xml::characterEncoding;

// The byte-order mark, the declaration line and the tree, in that order;
// false when a write failed. The tree goes in one block, and an empty text
// counts as a failed write.
bool writeContent(FileReplacement& out, bool byteOrderMark, const char* declaredEncoding,
                  const char* text, int length) {
    if (byteOrderMark && !out.write("\xEF\xBB\xBF", 3)) return false;
    if (declaredEncoding) {
        static const char kHead[] = "<?xml version=\"1.0\" encoding=\"";
        static const char kTail[] = "\"?>\n";
        if (!out.write(kHead, sizeof kHead - 1) ||
            !out.write(declaredEncoding, std::strlen(declaredEncoding)) ||
            !out.write(kTail, sizeof kTail - 1)) {
            return false;
        }
    }
    return length > 0 && out.write(text, static_cast<size_t>(length));
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

    int length = 0;
    char* text = createXMLString(format, &length);
    FileReplacement out;
    FileReplacement::Status status = out.open(fileName);
    if (status == FileReplacement::ok) {
        status = writeContent(out, characterEncoding == encodingUTF8,
                              startsDeclared ? NULL : declaredEncodingName(encoding), text, length)
                     ? out.commit()
                     : FileReplacement::cannotWrite;
    }
    freeXMLString(text);
    switch (status) {
        case FileReplacement::ok:
            return errorNone;
        case FileReplacement::cannotOpen:
            return errorCannotOpenWriteFile;
        case FileReplacement::cannotWrite:
            break;
    }
    return errorCannotWriteFile;
}
