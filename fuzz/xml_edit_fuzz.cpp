// libFuzzer target for editing and querying trees through handles.
//
// The input is a program for a machine with eight handle slots. Slot 0
// starts as a parsed tree (a fixed document, or, when the first byte is odd,
// up to 63 bytes of the input as the second byte says), slots 1 and 2 as a
// tree built through the adders and a child of it.
// Each step is an opcode byte and a few argument bytes: slots, positions
// and indexes (negative and far out of range among them), strings from a
// small table or a few raw bytes. Steps add, update and delete items, move
// nodes (into their own subtrees too, which must be refused and change
// nothing), look children up by index, name and path (creating missing
// ones), copy trees, and copy, take and drop handles. After every step each
// held tree keeps its record invariants, and counts follow the documented
// effect of the step; at the end every handle goes, and LeakSanitizer
// checks that every record went with it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/xml_test_util.h"
#include "xml/xml_parser.h"

namespace {

void check(bool ok, const char* what, const std::string& detail = "") {
    if (ok) return;
    std::fprintf(stderr, "xml_edit_fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

const char* const kWords[] = {"a", "b", "A", "c", "", "x y", "<q>\"'&", "\xC3\xA9", "a/b"};
const char* const kPaths[] = {"a", "a/b", "A/c/a", "/a", "a//b", "b/", "x y/a", ""};
const char* const kOpen[] = {NULL, "<!--", "<!DOCTYPE", "", "<PRE>"};
const char* const kClose[] = {NULL, "-->", ">", "", "</PRE>"};
const int kPositions[] = {-1, 0, 1, 2, 3, -7, 1000, 2147483647};

XMLNode topOf(XMLNode node) {
    for (XMLNode up = node.getParentNode(); !up.isEmpty(); up = up.getParentNode()) node = up;
    return node;
}

class Machine {
  public:
    Machine(const uint8_t* data, size_t size) : p_(data), left_(size) {
        std::string document = "<r k='v'><a>t<b/><!--c--></a>u<c x='1'/><a/></r>";
        if (byte() & 1) document = raw(byte() % 64);
        slot_[0] = XMLNode::parseString(document.c_str());
        slot_[1] = XMLNode::createXMLTopNode("r");
        slot_[1].addAttribute("k", "v");
        slot_[1].addChild("a").addText("t");
        slot_[1].addClear("c", "<!--", "-->");
        slot_[2] = slot_[1].addChild("c");
    }

    bool done() const { return left_ == 0; }

    void step() {
        const uint8_t op = op_ = byte();
        XMLNode node = slot_[byte() & 7];  // a copy: into may be the same slot
        XMLNode& into = slot_[byte() & 7];
        const int pos = kPositions[byte() & 7];
        const int n = op & 0x80 ? pos : static_cast<int>(byte() % 4) - 1;  // an index
        const std::string s = word();
        const char* text = s.c_str();
        const bool live = !node.isEmpty();
        const int texts = node.nText();
        const int clears = node.nClear();
        const int attributes = node.nAttribute();
        switch (op % 24) {
            case 0:
                expect(node, kChildren, live,
                       [&] { into = node.addChild(text, static_cast<char>(op & 1), pos); });
                check(into.isEmpty() != live, "addChild result");
                break;
            case 1:
                expect(node, kTexts, live, [&] { node.addText(text, pos); });
                break;
            case 2:
                expect(node, kAttributes, live,
                       [&] { node.addAttribute(text, op & 0x40 ? NULL : text); });
                break;
            case 3:
                expect(node, kClears, live,
                       [&] { node.addClear(text, kOpen[op % 5], kClose[op % 5], pos); });
                break;
            case 4:  // out of range: appended
                expect(node, kTexts, live && !inRange(n, texts), [&] { node.updateText(text, n); });
                break;
            case 5: {  // by address: a stored text, NULL (item 0), or one not held
                const char* old = op & 0x40 ? node.getText(n) : text;
                expect(node, kTexts, live && node.indexText(old) < 0,
                       [&] { node.updateText(text, old); });
                break;
            }
            case 6:  // out of range: appended only with a new name
                expect(node, kAttributes, live && !inRange(n, attributes) && op & 1,
                       [&] { node.updateAttribute(text, op & 1 ? "n" : NULL, n); });
                break;
            case 7:
                expect(node, kAttributes, live && !node.isAttributeSet(text),
                       [&] { node.updateAttribute(text, op & 1 ? "n" : NULL, text); });
                break;
            case 8:
                expect(node, kClears, live && !inRange(n, clears),
                       [&] { node.updateClear(text, n); });
                break;
            case 9:
                expect(node, kTexts, -inRange(n, texts), [&] { node.deleteText(n); });
                break;
            case 10:
                expect(node, kClears, -inRange(n, clears), [&] { node.deleteClear(n); });
                break;
            case 11:
                expect(node, kAttributes, -inRange(n, attributes),
                       [&] { node.deleteAttribute(n); });
                break;
            case 12:
                expect(node, kAttributes, -node.isAttributeSet(text),
                       [&] { node.deleteAttribute(text); });
                break;
            case 13: {  // by address; out of range gives NULL, which names item 0
                const char* stored = node.getText(n);
                expect(node, kTexts, -(texts > 0), [&] { node.deleteText(stored); });
                break;
            }
            case 14: {
                const char* stored = node.getClear(n).value;
                expect(node, kClears, -(clears > 0), [&] { node.deleteClear(stored); });
                break;
            }
            case 15: {
                XMLNode parent = node.getParentNode();
                expect(parent, kChildren, -!parent.isEmpty(), [&] { node.deleteNodeContent(); });
                break;
            }
            case 16:
                move(node, into, pos);
                break;
            case 17:
                into = op & 1 ? node.getChildNode(n) : node.getChildNode(text, n);
                break;
            case 18: {  // with creation, every segment is found or added
                const char create = static_cast<char>((op >> 6) & 1);
                const long before = xmltest::countElements(node);
                into = node.getChildNodeByPath(kPaths[op % 8], create, op & 0x20 ? 0 : '/');
                check(live ? !create || !into.isEmpty() : into.isEmpty(), "path lookup");
                check(create || xmltest::countElements(node) == before, "lookup added nodes");
                break;
            }
            case 19: {
                into = node.deepCopy();
                check(xmltest::written(into, 0) == xmltest::written(node, 0),
                      "copy writes otherwise");
                check(into.getParentNode().isEmpty(), "copy has a parent");
                break;
            }
            case 20:
                into = op & 1 ? node : XMLNode();
                break;
            case 21:
                into = node.getParentNode();
                break;
            case 22:
                node.updateName(op & 1 ? text : NULL);
                break;
            default:
                into = XMLNode::createXMLTopNode(op & 1 ? text : NULL, static_cast<char>(op & 2));
                break;
        }
        for (const XMLNode& held : slot_) {
            if (held.isEmpty()) continue;
            const std::string broken = xmltest::checkTree(topOf(held));
            check(broken.empty(), "tree broken:", broken);
        }
    }

  private:
    uint8_t byte() {
        if (!left_) return 0;
        --left_;
        return *p_++;
    }

    // Up to length input bytes, ending at a NUL.
    std::string raw(size_t length) {
        std::string s;
        while (length-- && left_ && *p_) s += static_cast<char>(byte());
        return s;
    }

    std::string word() {
        const uint8_t b = byte();
        return b < 0xF0 ? kWords[b % 9] : raw(b & 7);
    }

    static bool inRange(int index, int count) { return index >= 0 && index < count; }

    enum Kind { kChildren, kTexts, kClears, kAttributes };

    static int countOf(const XMLNode& node, Kind kind) {
        return kind == kChildren ? node.nChildNode()
               : kind == kTexts  ? node.nText()
               : kind == kClears ? node.nClear()
                                 : node.nAttribute();
    }

    // Runs act and checks that node then holds delta more items of kind.
    template <class Act>
    void expect(const XMLNode& node, Kind kind, int delta, Act act) const {
        const int before = countOf(node, kind);
        act();
        const int after = countOf(node, kind);
        check(after == before + delta, "count after step",
              std::to_string(op_ % 24) + ": " + std::to_string(after - before));
    }

    // Adding child under target moves it there, unless target lies in its
    // subtree: then nothing moves and both trees stay as they were.
    static void move(const XMLNode& child, XMLNode& target, int pos) {
        bool cycle = false;
        for (XMLNode up = target; !up.isEmpty() && !cycle; up = up.getParentNode())
            cycle = xmltest::rec(up) == xmltest::rec(child);
        const std::string before = xmltest::dump(topOf(target));
        const bool named = child.getName() != NULL;
        const bool sibling = xmltest::rec(child.getParentNode()) == xmltest::rec(target);
        const int children = target.nChildNode();
        XMLNode moved = target.addChild(child, pos);
        if (cycle) {
            check(moved.isEmpty(), "a node moved into its own subtree");
            check(xmltest::dump(topOf(target)) == before, "refused move changed the tree");
        } else if (named && !target.isEmpty()) {
            check(xmltest::rec(moved) == xmltest::rec(child), "moved node is another");
            check(target.nChildNode() == children + !sibling, "child count after move");
        }
    }

    const uint8_t* p_;
    size_t left_;
    uint8_t op_ = 0;
    XMLNode slot_[8];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Machine machine(data, size);
    for (int steps = 0; steps < 256 && !machine.done(); ++steps) machine.step();
    return 0;
}
