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

#include "xml/xml_block_scan.h"
#include "xml/xml_encoding.h"
#include "xml/xml_escape.h"
#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parse_api.h"
#include "xml/xml_parser.h"

using secnative::xml::Record;

// The walk's step into an element, kept inside its loop: called through a
// function, its frame would make a round trip through memory.
#if defined(__GNUC__)
#define WRITER_INLINE __attribute__((always_inline)) inline
#else
#define WRITER_INLINE inline
#endif

namespace {

// Counts bytes, and with kWrite also writes them.
template <bool kWrite>
class Sink {
  public:
    explicit Sink(char* out) : out_(out), start_(out) {}

    uint64_t length() const { return kWrite ? static_cast<uint64_t>(out_ - start_) : count_; }

    void put(const char* text, size_t n) {
        if (kWrite) {
            secnative::xml::copyBytes(out_, text, n);
            out_ += n;
        } else {
            count_ += n;
        }
    }
    void put(char c) {
        if (kWrite) {
            *out_++ = c;
        } else {
            ++count_;
        }
    }
    void tabs(int n) {
        if (n <= 0) return;
        if (kWrite) {
            std::memset(out_, '\t', static_cast<size_t>(n));
            out_ += n;
        } else {
            count_ += static_cast<uint64_t>(n);
        }
    }
    void escaped(const char* text, const signed char* table) {
        if (kWrite) {
            out_ = secnative::xml::writeEscaped(out_, text, table);
        } else {
            count_ += secnative::xml::escapedLength(text, table);
        }
    }

  private:
    char* out_;
    char* start_;
    uint64_t count_ = 0;
};

inline void prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

bool present(const char* text) {
    return text && *text;
}

// An open element of the walk, one with items still to write.
struct Frame {
    const Record* record;
    const int* next;   // order entry of the next item
    const int* end;    // behind the last order entry
    const char* name;  // the end tag's name; NULL when none is written
    size_t nameLength;
    int level;      // L, the element's own level
    int itemLevel;  // the level its children are written at
};

// The walk's stack, grown by doubling and shared by the measuring and the
// writing pass.
class FrameStack {
  public:
    bool empty() const { return depth_ == 0; }
    Frame& top() { return frames_[depth_ - 1]; }
    void pop() { --depth_; }
    Frame& push() {
        if (depth_ == frames_.size()) frames_.resize(depth_ ? 2 * depth_ : 64);
        return frames_[depth_++];
    }

  private:
    std::vector<Frame> frames_;
    size_t depth_ = 0;
};

template <bool kWrite>
class Walk {
  public:
    Walk(char* out, const signed char* table, FrameStack* stack)
        : sink_(out), table_(table), stack_(*stack) {}

    // The open element's frame is kept in cur; the stack holds only the
    // elements around it.
    uint64_t run(const Record* top, int level) {
        Frame cur;
        if (!open(top, level, &cur)) return sink_.length();
        for (;;) {
            if (cur.next == cur.end) {
                if (cur.name) endTag(cur.name, cur.nameLength, 1, cur.level);
                if (stack_.empty()) break;
                cur = stack_.top();
                stack_.pop();
                continue;
            }
            const Record* r = cur.record;
            const int entry = *cur.next++;
            const int index = entry >> 2;
            switch (entry & 3) {
                case elementText:
                    text(r->texts[index], cur.level);
                    break;
                case elementClear:
                    clear(r->clears[index], cur.level);
                    break;
                default: {
                    fetchAhead(cur);
                    Frame inner;
                    if (open(XMLNodeAccess::record(r->children[index]), cur.itemLevel, &inner)) {
                        stack_.push() = cur;
                        cur = inner;
                    }
                    break;
                }
            }
        }
        return sink_.length();
    }

  private:
    // A walk of a large tree waits on memory more than it works. While one
    // child is written, the record of a sibling a few items on is fetched,
    // and the name and arrays of one whose record has arrived by now.
    static void fetchAhead(const Frame& f) {
        const ptrdiff_t left = f.end - f.next;
        if (left > 4) {
            if (const Record* r = childAt(f, 4)) {
                prefetch(r);
                prefetch(reinterpret_cast<const char*>(r) + 64);
            }
        }
        if (left > 2) {
            if (const Record* r = childAt(f, 2)) {
                prefetch(r->name);
                prefetch(r->order);
                prefetch(r->attributes);
            }
        }
    }

    static const Record* childAt(const Frame& f, ptrdiff_t ahead) {
        const int entry = f.next[ahead];
        if ((entry & 3) != elementChild) return NULL;
        return XMLNodeAccess::record(f.record->children[entry >> 2]);
    }

    // The start tag of r at incoming level f. An element without items, or
    // with one text, is written whole at once; any other fills in *frame and
    // returns true, so that its items follow.
    WRITER_INLINE bool open(const Record* r, int f, Frame* frame) {
        const int n = r->childCount + r->textCount + r->clearCount;
        const bool declaration = r->isDeclaration != 0;
        const bool oneText = n == 1 && r->textCount == 1;
        const char* name = r->name;
        size_t nameLength = name ? secnative::xml::stringLength(name) : 0;
        int level = f;
        if (f >= 0 && oneText && !declaration) level = -2;
        if (nameLength) {
            sink_.tabs(f);
            sink_.put('<');
            if (declaration) sink_.put('?');
            sink_.put(name, nameLength);
            attributes(r);
            if (declaration) {
                sink_.put("?>", 2);
                if (level != -1) sink_.put('\n');
            } else if (n) {
                sink_.put('>');
                if (level >= 0) sink_.put('\n');
            }
        }
        // Declarations and nameless nodes have no end tag.
        if (declaration) nameLength = 0;
        if (n == 0 || oneText) {
            if (n) text(r->texts[0], level);
            if (nameLength) endTag(name, nameLength, n, level);
            return false;
        }
        frame->record = r;
        frame->next = r->order;
        frame->end = r->order + n;
        frame->name = nameLength ? name : NULL;
        frame->nameLength = nameLength;
        frame->level = level;
        // One level deeper inside an element; -1 stays unformatted.
        frame->itemLevel = level == -1 || !nameLength ? level : level + 1;
        return true;
    }

    void attributes(const Record* r) {
        const XMLAttribute* a = r->attributes;
        for (const XMLAttribute* end = a + r->attributeCount; a != end; ++a) {
            if (!present(a->name)) continue;
            sink_.put(' ');
            sink_.put(a->name, secnative::xml::stringLength(a->name));
            if (a->value) {
                sink_.put("=\"", 2);
                sink_.escaped(a->value, table_);
                sink_.put('"');
            }
        }
    }

    // "/>" for an element without items, else the end tag; then the line
    // feed of a formatted element.
    void endTag(const char* name, size_t nameLength, int items, int level) {
        if (!items) {
            sink_.put("/>", 2);
        } else {
            sink_.tabs(level);
            sink_.put("</", 2);
            sink_.put(name, nameLength);
            sink_.put('>');
        }
        if (level != -1) sink_.put('\n');
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
            sink_.put(c.openTag, secnative::xml::stringLength(c.openTag));
        }
        if (present(c.value)) sink_.put(c.value, secnative::xml::stringLength(c.value));
        if (present(c.closeTag)) sink_.put(c.closeTag, secnative::xml::stringLength(c.closeTag));
        if (level != -1) sink_.put('\n');
    }

    Sink<kWrite> sink_;
    const signed char* table_;
    FrameStack& stack_;
};

// The length of the text, 64-bit, and with output the text itself.
uint64_t createText(const Record* record, char* output, int level, FrameStack* stack) {
    const signed char* table = secnative::xml::XML_ByteTable;
    if (output) return Walk<true>(output, table, stack).run(record, level);
    return Walk<false>(NULL, table, stack).run(record, level);
}

}  // namespace

int XMLNode::CreateXMLStringR(XMLNodeDataTag* record, char* output, int level) {
    FrameStack stack;
    const uint64_t length = createText(record, output, level, &stack);
    return length > static_cast<uint64_t>(INT_MAX) ? -1 : static_cast<int>(length);
}

char* XMLNode::createXMLString(int format, int* size) const {
    if (size) *size = 0;
    if (!d) return NULL;
    const int level = format && secnative::xml::dropWhiteSpace ? 0 : -1;
    FrameStack stack;
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
