// The writer: the text of a node and its subtree, measured in one pass and
// written in a second pass over the same walk, so that the text takes exactly
// one allocation.
//
// Layout, with a formatting level L per node (-1: no formatting; 0, 1, ...:
// L tabs before the node's tags and a line feed after each): an element is
// "<name attr="value" ...>", its items, "</name>", or "<name .../>" without
// items; a declaration is "<?name ...?>" with its items after it and no end
// tag; a node without a name writes only its items. Children sit one level
// deeper than their element, texts and clear items one tab deeper. An
// element whose only item is one text is written on one line (level -2
// inside). The walk keeps its own stack, so a tree of any depth is written
// on a small stack.
#include <climits>
#include <cstring>
#include <vector>

#include "xml/xml_lexer.h"
#include "xml/xml_node_access.h"

using secnative::xml::Record;

namespace {

// Counts bytes, and with kWrite also writes them.
template <bool kWrite>
class Sink {
  public:
    explicit Sink(char* out) : out_(out) {}

    uint64_t length() const { return length_; }

    void put(const char* text, size_t n) {
        if (kWrite) secnative::xml::copyBytes(out_ + length_, text, n);
        length_ += n;
    }
    void put(const char* text) { put(text, std::strlen(text)); }
    void put(char c) {
        if (kWrite) out_[length_] = c;
        ++length_;
    }
    void tabs(int n) {
        if (kWrite) std::memset(out_ + length_, '\t', static_cast<size_t>(n));
        length_ += static_cast<uint64_t>(n);
    }
    void escaped(const char* text, const signed char* table) {
        if (kWrite) {
            length_ = static_cast<uint64_t>(
                secnative::xml::writeEscaped(out_ + length_, text, table) - out_);
        } else {
            length_ += secnative::xml::escapedLength(text, table);
        }
    }

  private:
    char* out_;
    uint64_t length_ = 0;
};

bool present(const char* text) {
    return text && *text;
}

// An open node of the walk.
struct Frame {
    const Record* record;
    int level;      // L, the node's own level
    int itemLevel;  // the level its children are written at
    int next;       // order position of the next item
};

template <bool kWrite>
class Walk {
  public:
    // stack is the caller's, so that measuring and writing share one.
    Walk(char* out, const signed char* table, std::vector<Frame>* stack)
        : sink_(out), table_(table), stack_(*stack) {}

    uint64_t run(const Record* top, int level) {
        open(top, level);
        while (!stack_.empty()) {
            Frame& f = stack_.back();
            const Record* r = f.record;
            if (f.next == items(r)) {
                close(f);
                stack_.pop_back();
                continue;
            }
            const int entry = r->order[f.next++];
            const int index = entry >> 2;
            switch (entry & 3) {
                case elementText:
                    text(r->texts[index], f.level);
                    break;
                case elementClear:
                    clear(r->clears[index], f.level);
                    break;
                default:
                    // open() may move the stack: f is not used after it.
                    open(XMLNodeAccess::record(r->children[index]), f.itemLevel);
                    break;
            }
        }
        return sink_.length();
    }

  private:
    static int items(const Record* r) { return r->childCount + r->textCount + r->clearCount; }

    // The start tag of r at incoming level f, then r's frame.
    void open(const Record* r, int f) {
        const int n = items(r);
        const bool named = present(r->name);
        const bool declaration = r->isDeclaration != 0;
        int level = f;
        if (f >= 0 && n == 1 && r->textCount == 1 && !declaration) level = -2;
        if (named) {
            sink_.tabs(f > 0 ? f : 0);
            sink_.put('<');
            if (declaration) sink_.put('?');
            sink_.put(r->name);
            for (int i = 0; i < r->attributeCount; ++i) {
                const XMLAttribute& a = r->attributes[i];
                if (!present(a.name)) continue;
                sink_.put(' ');
                sink_.put(a.name);
                if (a.value) {
                    sink_.put("=\"", 2);
                    sink_.escaped(a.value, table_);
                    sink_.put('"');
                }
            }
            if (declaration) {
                sink_.put("?>", 2);
                if (level != -1) sink_.put('\n');
            } else if (n) {
                sink_.put('>');
                if (level >= 0) sink_.put('\n');
            }
        }
        int itemLevel = level;
        if (level == -1) {
            itemLevel = -1;
        } else if (named && !declaration) {
            itemLevel = level + 1;  // -1 when the element's only item is a text
        }
        const Frame frame = {r, level, itemLevel, 0};
        if (n == 0 || level == -2 || (n == 1 && r->textCount == 1)) {
            // Nothing, or one text, inside: no need to come back.
            if (n) text(r->texts[0], level);
            close(frame);
            return;
        }
        stack_.push_back(frame);
    }

    void close(const Frame& f) {
        const Record* r = f.record;
        if (!present(r->name) || r->isDeclaration) return;
        if (!items(r)) {
            sink_.put("/>", 2);
        } else {
            if (f.level > 0) sink_.tabs(f.level);
            sink_.put("</", 2);
            sink_.put(r->name);
            sink_.put('>');
        }
        if (f.level != -1) sink_.put('\n');
    }

    void text(const char* t, int level) {
        if (!*t) return;
        if (level < 0) {
            sink_.escaped(t, table_);
            return;
        }
        sink_.tabs(level + 1);
        sink_.escaped(t, table_);
        sink_.put('\n');
    }

    void clear(const XMLClear& c, int level) {
        if (present(c.openTag)) {
            if (level != -1) sink_.tabs(level + 1);
            sink_.put(c.openTag);
        }
        if (present(c.value)) sink_.put(c.value);
        if (present(c.closeTag)) sink_.put(c.closeTag);
        if (level != -1) sink_.put('\n');
    }

    Sink<kWrite> sink_;
    const signed char* table_;
    std::vector<Frame>& stack_;
};

// The length of the text, 64-bit, and with output the text itself.
uint64_t createText(const Record* record, char* output, int level, std::vector<Frame>* stack) {
    const signed char* table = secnative::xml::XML_ByteTable;
    if (output) return Walk<true>(output, table, stack).run(record, level);
    return Walk<false>(NULL, table, stack).run(record, level);
}

}  // namespace

int XMLNode::CreateXMLStringR(XMLNodeDataTag* record, char* output, int level) {
    std::vector<Frame> stack;
    const uint64_t length = createText(record, output, level, &stack);
    return length > static_cast<uint64_t>(INT_MAX) ? -1 : static_cast<int>(length);
}

char* XMLNode::createXMLString(int format, int* size) const {
    if (size) *size = 0;
    if (!d) return NULL;
    const int level = format && secnative::xml::dropWhiteSpace ? 0 : -1;
    std::vector<Frame> stack;
    const uint64_t length = createText(d, NULL, level, &stack);
    if (length > static_cast<uint64_t>(INT_MAX)) return NULL;
    char* text = static_cast<char*>(secnative::xml::allocate(static_cast<size_t>(length) + 1));
    createText(d, text, level, &stack);
    text[length] = 0;
    if (size) *size = static_cast<int>(length);
    return text;
}

void freeXMLString(char* text) {
    std::free(text);
}
