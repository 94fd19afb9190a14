#include "support/xml_test_util.h"

#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "support/printable.h"

namespace xmltest {

namespace {

int itemCount(const Record* r) {
    return r->childCount + r->textCount + r->clearCount;
}

void openElement(const Record* r, std::string* out) {
    if (r->isDeclaration) *out += '?';
    *out += r->name ? r->name : "#";
    if (r->attributeCount) {
        *out += '[';
        for (int i = 0; i < r->attributeCount; ++i) {
            if (i) *out += ',';
            *out += r->attributes[i].name;
            if (r->attributes[i].value) *out += std::string("=") + r->attributes[i].value;
        }
        *out += ']';
    }
    if (itemCount(r)) *out += '{';
}

struct Cursor {
    const Record* record;
    int next;  // order position of the next item to write
};

}  // namespace

std::string written(const XMLNode& node, int format, int* size) {
    char* text = node.createXMLString(format, size);
    std::string out = text ? text : "(null)";
    freeXMLString(text);
    return out;
}

std::string dump(const XMLNode& node) {
    const Record* top = rec(node);
    if (!top) return "(empty)";
    std::string out;
    std::vector<Cursor> stack;
    openElement(top, &out);
    stack.push_back({top, 0});
    while (!stack.empty()) {
        Cursor& c = stack.back();
        const Record* r = c.record;
        if (c.next == itemCount(r)) {
            if (itemCount(r)) out += '}';
            stack.pop_back();
            continue;
        }
        if (c.next) out += ',';
        int entry = r->order[c.next++];
        int index = entry >> 2;
        switch (entry & 3) {
            case elementChild: {
                const Record* child = rec(r->children[index]);
                openElement(child, &out);
                stack.push_back({child, 0});
                break;
            }
            case elementText:
                out += "'" + std::string(r->texts[index]) + "'";
                break;
            case elementClear: {
                const XMLClear& cl = r->clears[index];
                out += std::string("!") + cl.openTag + "|" + (cl.value ? cl.value : "(null)") +
                       "|" + cl.closeTag;
                break;
            }
            default:
                out += "(bad entry)";
                break;
        }
    }
    return out;
}

namespace {

std::string checkRecord(const Record* r) {
    if (r->refCount < 1) return "refCount below 1";
    int n = itemCount(r);
    int seen[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        int type = r->order[i] & 3;
        if (type == elementAttribute) return "attribute in order list";
        if ((r->order[i] >> 2) != seen[type]++) return "order entries out of sequence";
    }
    if (seen[elementChild] != r->childCount || seen[elementText] != r->textCount ||
        seen[elementClear] != r->clearCount) {
        return "order list does not cover the typed arrays";
    }
    for (int i = 0; i < r->childCount; ++i) {
        if (rec(r->children[i])->parent != r) return "child without parent link";
    }
    if ((r->childCount == 0) != (r->children == NULL)) return "children array and count disagree";
    if ((r->textCount == 0) != (r->texts == NULL)) return "texts array and count disagree";
    return "";
}

}  // namespace

std::string checkTree(const XMLNode& node) {
    std::vector<const Record*> stack;
    if (rec(node)) stack.push_back(rec(node));
    while (!stack.empty()) {
        const Record* r = stack.back();
        stack.pop_back();
        std::string problem = checkRecord(r);
        if (!problem.empty()) return std::string(r->name ? r->name : "#") + ": " + problem;
        for (int i = 0; i < r->childCount; ++i) stack.push_back(rec(r->children[i]));
    }
    return "";
}

long countElements(const XMLNode& node) {
    long count = 0;
    std::vector<const Record*> stack;
    if (rec(node)) stack.push_back(rec(node));
    while (!stack.empty()) {
        const Record* r = stack.back();
        stack.pop_back();
        if (r->name) ++count;
        for (int i = 0; i < r->childCount; ++i) stack.push_back(rec(r->children[i]));
    }
    return count;
}

XMLNode rebuild(const XMLNode& node) {
    const Record* top = rec(node);
    if (!top) return XMLNode();
    XMLNode copy = XMLNode::createXMLTopNode(top->name, top->isDeclaration);
    std::vector<std::pair<const Record*, XMLNode>> stack = {{top, copy}};
    while (!stack.empty()) {
        const Record* r = stack.back().first;
        XMLNode target = stack.back().second;
        stack.pop_back();
        for (int i = 0; i < r->attributeCount; ++i) {
            target.addAttribute(r->attributes[i].name, r->attributes[i].value);
        }
        for (int i = 0; i < itemCount(r); ++i) {
            int index = r->order[i] >> 2;
            switch (r->order[i] & 3) {
                case elementChild: {
                    const Record* child = rec(r->children[index]);
                    stack.push_back({child, target.addChild(child->name, child->isDeclaration)});
                    break;
                }
                case elementText:
                    target.addText(r->texts[index]);
                    break;
                default: {
                    const XMLClear& cl = r->clears[index];
                    target.addClear(cl.value, cl.openTag, cl.closeTag);
                    break;
                }
            }
        }
    }
    return copy;
}

ParseOutcome parse(const char* text, const char* tag) {
    XMLResults results = {errorNone, -7, -7};
    XMLNode node = XMLNode::parseString(text, tag, &results);
    return {dump(node), results.error, results.line, results.column};
}

const char* encodingName(XMLNode::XMLCharEncoding encoding) {
    static const char* const kNames[] = {"error",  "UTF-8", "legacy", "Shift-JIS",
                                         "GB2312", "Big5",  "GBK"};
    const bool known = encoding >= 0 && static_cast<size_t>(encoding) < std::size(kNames);
    return known ? kNames[encoding] : "unknown";
}

std::string caseName(size_t index, const char* text) {
    std::string name = std::to_string(index) + "_";
    if (!text) return name + "null";
    for (const char* p = text; *p && name.size() < 40; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        std::string part;
        if (c < 0x80 && std::isalnum(c)) {
            part = static_cast<char>(c);
        } else if (c == '<') {
            part = "_lt_";
        } else if (c == '>') {
            part = "_gt_";
        } else if (c == '/') {
            part = "_sl_";
        } else if (c == '&') {
            part = "_amp_";
        } else if (c == '=') {
            part = "_eq_";
        } else {
            part = "_";
        }
        for (char ch : part) {
            // One '_' between words, none doubled.
            if (ch == '_' && name.back() == '_') continue;
            name += ch;
        }
    }
    return name;
}

void PrintTo(const DecodeOutcome& o, std::ostream* os) {
    *os << (o.decoded ? secnative::test::quoted(o.text) : std::string("NULL")) << " error "
        << o.error;
}

DecodeOutcome outcomeOf(char* result, const XML& state) {
    DecodeOutcome o{result != NULL, result ? result : "", state.error};
    std::free(result);
    return o;
}

}  // namespace xmltest
