// Helpers shared by the XML tests: a compact text form of a tree, a check of
// the record invariants, and a guard that restores the process-wide options.
#ifndef SECNATIVE_TESTS_SUPPORT_XML_TEST_UTIL_H
#define SECNATIVE_TESTS_SUPPORT_XML_TEST_UTIL_H

#include <ostream>
#include <string>

#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"

namespace xmltest {

using Record = XMLNodeAccess::Record;

inline Record* rec(const XMLNode& node) {
    return XMLNodeAccess::record(node);
}

// The tree below node, in document order, as one line:
//   element  name[attr=value,flag]{item,item}  ("?" before a declaration's
//            name, "#" for a nameless node, no braces without items)
//   text     'text'        clear item  !open|value|close
// Written with an explicit stack, so trees of any depth can be dumped.
std::string dump(const XMLNode& node);

// Checks the invariants of every record below node (order list length and
// per-kind sequence, parent links, positive reference counts); returns an
// empty string when they hold, else a description of the first violation.
std::string checkTree(const XMLNode& node);

// Number of named records below and including node.
long countElements(const XMLNode& node);

// A copy of node's subtree made through the public adders alone, so that
// every array is a malloc block grown item by item (a parsed tree keeps its
// arrays packed in the parser's blocks instead).
XMLNode rebuild(const XMLNode& node);

// Parses with the given options and returns dump() of the result; stores
// the result's error, line and column.
struct ParseOutcome {
    std::string tree;
    XMLError error;
    int line;
    int column;
};
ParseOutcome parse(const char* text, const char* tag = NULL);

// What createXMLString writes for node, or "(null)" when it gives NULL;
// stores the size it reports in *size when size is not NULL.
std::string written(const XMLNode& node, int format, int* size = NULL);

// Restores the library's default options when it goes out of scope.
class OptionsGuard {
  public:
    OptionsGuard() = default;
    OptionsGuard(const OptionsGuard&) = delete;
    OptionsGuard& operator=(const OptionsGuard&) = delete;
    ~OptionsGuard() { XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 1, 1); }
};

// The name of an encoding for test output ("UTF-8", "Shift-JIS"), or
// "unknown" for a value outside the enumeration.
const char* encodingName(XMLNode::XMLCharEncoding encoding);

// The name of a parameterised case: its index, then the letters and digits
// of text with markup spelt out ("<a/>" gives "_lt_a_sl_gt_"), every other
// byte as '_'; a NULL text gives "null".
std::string caseName(size_t index, const char* text);
inline std::string caseName(size_t index, const std::string& text) {
    return caseName(index, text.c_str());
}

// What a decoding (fromXMLString, decodeText) gave: the decoded text, or
// NULL and the state's code.
struct DecodeOutcome {
    bool decoded;
    std::string text;
    XMLError error;
    bool operator==(const DecodeOutcome& o) const {
        return decoded == o.decoded && text == o.text && error == o.error;
    }
};

void PrintTo(const DecodeOutcome& o, std::ostream* os);

// Takes over result (freeing it) and reads the code from state.
DecodeOutcome outcomeOf(char* result, const XML& state);

}  // namespace xmltest

#endif  // SECNATIVE_TESTS_SUPPORT_XML_TEST_UTIL_H
