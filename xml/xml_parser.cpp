// The parser: start tags with their attributes, element content, clear
// blocks and the recovery from end tags that close several elements.
//
// One loop drives the whole document. The current element is a record; a
// start tag makes a child and descends into it, an end tag (or "/>") closes
// the current element and returns to its parent. An end tag that names
// another element is left pending: each ancestor it passes closes too, the
// first one whose name it matches consumes it, and reaching the nameless top
// node is an error.
#include <cstdlib>
#include <cstring>

#include "xml/xml_block_scan.h"
#include "xml/xml_encoding.h"
#include "xml/xml_entities.h"
#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parse_api.h"
#include "xml/xml_parse_run.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"
#include "xml/xml_tokenizer.h"

namespace secnative::xml {

namespace {

// The most each scratch stack keeps for the thread's next parse.
constexpr size_t kScratchKeptPerStack = size_t(8) << 10;

ParseScratch& threadScratch() {
    thread_local ParseScratch scratch;
    return scratch;
}

}  // namespace

ParseRun::ParseRun(const char* text) : scratch(threadScratch()) {
    std::memset(&state, 0, sizeof state);
    state.document = text;
    state.pendingText = text;
    state.isFirstCall = 1;
    byteTable = XML_ByteTable;
    scan = &scanTablesFor(byteTable);
}

ParseRun::~ParseRun() {
    // A thread keeps at most 8 KiB per stack between parses, 48 KiB in all:
    // enough for the elements of ordinary documents, so that they parse
    // without growing the stacks again, while a process with many threads
    // that each parsed one large document once holds no more than that
    // per thread.
    const size_t keep = kScratchKeptPerStack;
    scratch.children.reset(keep);
    scratch.texts.reset(keep);
    scratch.clears.reset(keep);
    scratch.order.reset(keep);
    scratch.attributes.reset(keep);
    scratch.frames.reset(keep);
}

size_t threadScratchBytes() {
    const ParseScratch& s = threadScratch();
    return s.children.capacityBytes() + s.texts.capacityBytes() + s.clears.capacityBytes() +
           s.order.capacityBytes() + s.attributes.capacityBytes() + s.frames.capacityBytes();
}

namespace {

// A NUL-terminated heap copy of length bytes of the document: an attribute's
// name, a clear block's body.
char* copyPiece(const char* piece, int length) {
    char* copy = static_cast<char*>(allocate(static_cast<size_t>(length) + 1));
    copyBytes(copy, piece, static_cast<size_t>(length));
    copy[length] = 0;
    return copy;
}

// nameLength: the length of node's name, which its end tag is read against;
// -1 for none.
void pushFrame(ParseRun* run, Record* node, int nameLength) {
    ParseScratch& sc = run->scratch;
    ParseFrame frame = {node,
                        nameLength,
                        sc.children.size(),
                        sc.texts.size(),
                        sc.clears.size(),
                        sc.attributes.size(),
                        sc.order.size()};
    sc.frames.push(frame);
}

// Moves the items of the innermost open element from the scratch stacks into
// arrays of exactly their size (what exactMemory would leave), all packed in
// one piece of the record pool.
void popFrame(ParseRun* run) {
    ParseScratch& sc = run->scratch;
    ParseFrame frame = sc.frames.back();
    sc.frames.pop();
    Record* r = frame.node;
    r->childCount = sc.children.size() - frame.childBase;
    r->textCount = sc.texts.size() - frame.textBase;
    r->clearCount = sc.clears.size() - frame.clearBase;
    r->attributeCount = sc.attributes.size() - frame.attributeBase;
    packArrays(&run->records, r, sc.children.at(frame.childBase),
               sc.attributes.at(frame.attributeBase), sc.clears.at(frame.clearBase),
               sc.texts.at(frame.textBase), sc.order.at(frame.orderBase));
    sc.children.truncate(frame.childBase);
    sc.texts.truncate(frame.textBase);
    sc.clears.truncate(frame.clearBase);
    sc.attributes.truncate(frame.attributeBase);
    sc.order.truncate(frame.orderBase);
}

void pushOrder(ParseRun* run, int indexInFrame, XMLElementType type) {
    run->scratch.order.push((indexInFrame << 2) | type);
}

Record* addChildItem(ParseRun* run, Record* node, const char* name, int length, bool decl) {
    // The name goes in the record's own piece of the block: the record and
    // its name are read together whenever the tree is walked.
    Record* child = run->records.takeNamed(name, static_cast<size_t>(length));
    child->isDeclaration = static_cast<char>(decl);
    child->parent = node;
    child->refCount = 1;  // held by the parent's entry
    run->scratch.children.push(child);
    pushOrder(run, run->scratch.children.size() - 1 - run->scratch.frames.back().childBase,
              elementChild);
    return child;
}

void addTextItem(ParseRun* run, char* text) {
    run->scratch.texts.push(text);
    pushOrder(run, run->scratch.texts.size() - 1 - run->scratch.frames.back().textBase,
              elementText);
}

void addClearItem(ParseRun* run, char* value, const char* openTag, const char* closeTag) {
    XMLClear clear = {value, openTag, closeTag};
    run->scratch.clears.push(clear);
    pushOrder(run, run->scratch.clears.size() - 1 - run->scratch.frames.back().clearBase,
              elementClear);
}

// Whether the open element's items end with a text and a comment, which a
// new text then joins across.
bool endsWithTextAndComment(ParseRun* run) {
    const ParseFrame& frame = run->scratch.frames.back();
    int entries = run->scratch.order.size() - frame.orderBase;
    if (run->scratch.texts.size() == frame.textBase ||
        run->scratch.clears.size() == frame.clearBase || entries < 2) {
        return false;
    }
    int last = run->scratch.order.back();
    int before = *run->scratch.order.at(run->scratch.order.size() - 2);
    return (last & 3) == elementClear && (before & 3) == elementText &&
           run->scratch.clears.back().openTag == XMLClearTags[kClearTagComment].openDelimiter;
}

// Drops the comment that ends the open element's items and appends text,
// which it takes over, to the text before it. Running out of memory ends
// the process here as at every other allocation of the parse, rather than
// ending the parse early with no error to show for it.
void joinAcrossComment(ParseRun* run, char* text) {
    std::free(run->scratch.clears.back().value);
    run->scratch.clears.pop();
    run->scratch.order.pop();
    char*& previous = run->scratch.texts.back();
    size_t had = std::strlen(previous);
    size_t added = std::strlen(text);
    previous = static_cast<char*>(reallocate(previous, had + added + 1));
    std::memcpy(previous + had, text, added + 1);
    std::free(text);
}

// The functions of the parse answer true while it goes on and false when it
// stops: on an error, with state.error set, or where the input ends.

// maybeAddTxT: stores the content from state.pendingText up to end as a text
// item of the innermost open element.
bool storePendingText(ParseRun* run, const char* end) {
    XML& st = run->state;
    if (!st.pendingText) return true;
    const char* p = st.pendingText;
    if (dropWhiteSpace) {
        while (p < end && isXmlSpace(static_cast<unsigned char>(*p))) ++p;
    }
    if (p >= end) {
        st.pendingText = NULL;
        return true;
    }
    int n = static_cast<int>(end - p);
    if (dropWhiteSpace) {
        while (n > 1 && isXmlSpace(static_cast<unsigned char>(p[n - 1]))) --n;
    }
    char* text = decodeText(p, n, &st);
    if (!text) return false;
    st.pendingText = NULL;
    if (removeCommentsInMiddleOfText && endsWithTextAndComment(run)) {
        joinAcrossComment(run, text);
    } else {
        addTextItem(run, text);
    }
    return true;
}

// parseClearTag: reads one clear block whose content starts at
// state.position into the innermost open element.
bool readClearBlock(ParseRun* run, const XMLClearTag* tag) {
    XML& st = run->state;
    const char* content = st.document + st.position;
    const char* close = NULL;  // where the content ends
    const char* end = NULL;    // behind the closing delimiter
    const char* closeTag = tag->closeDelimiter;
    if (tag == &XMLClearTags[kClearTagDoctype]) {
        // A plain DOCTYPE ends at the first ">"; one with an internal subset
        // (a "<" before any ">") ends at the first "]" followed by ">", with
        // any whitespace between them. The item's closing tag is "]>" all the
        // same.
        const char* p = content;
        while (*p && *p != '<' && *p != '>') p += charLength(p, run->byteTable);
        if (*p == '>') {
            close = p;
            end = p + 1;
        } else if (*p == '<') {
            closeTag = kDoctypeSubsetClose;
            for (const char* bracket = findByteOrEnd(p, ']'); *bracket && !close;
                 bracket = findByteOrEnd(bracket + 1, ']')) {
                const char* q = bracket + 1;
                while (isXmlSpace(static_cast<unsigned char>(*q))) ++q;
                if (*q == '>') {
                    close = bracket;
                    end = q + 1;
                }
            }
        }
    } else {
        close = findText(content, closeTag);
        if (close) end = close + std::strlen(closeTag);
    }
    if (!close) {
        st.error = errorUnmatchedClearTagEnd;
        return false;
    }
    st.position = static_cast<int>(end - st.document);
    addClearItem(run, copyPiece(content, static_cast<int>(close - content)), tag->openDelimiter,
                 closeTag);
    return true;
}

// What reading a start tag's attributes ended with (stopped: as false from
// the functions that answer bool).
enum class TagOutcome { stopped, open, closed };

// What reading a piece of element content ended with.
enum class ContentOutcome { stopped, childOpened, closed, more };

// Adds an attribute read from the start tag: a copy of the name, the value
// as decoded (NULL for an attribute without "=").
void addAttributeItem(ParseRun* run, const char* name, int length, char* value) {
    XMLAttribute attribute = {copyPiece(name, length), value};
    run->scratch.attributes.push(attribute);
}

// Adds an attribute whose value is decoded from length bytes at value;
// false when they do not decode (state.error is set).
bool addDecodedAttribute(ParseRun* run, const char* name, int nameLength, const char* value,
                         int length) {
    char* decoded = decodeText(value, length, &run->state);
    if (!decoded) return false;
    addAttributeItem(run, name, nameLength, decoded);
    return true;
}

// The input ended while node was open: code 1 unless node is a declaration
// or the top node.
void reachedEnd(ParseRun* run, Record* node) {
    XML& st = run->state;
    if (!node->isDeclaration && node->parent) {
        st.error = warningUnmatchedEndTag;
        st.missingEndTagPosition = st.position;
    }
    storePendingText(run, st.document + st.position);  // stores what it can
}

// A held attribute name meets ">" or "/>". In a declaration a trailing "?"
// belongs to the closing "?>": it is dropped, and a declaration below the
// top level is closed by it. Returns whether the tag closes the element.
bool closeTagWithName(ParseRun* run, Record* node, const char* name, int length, bool empty) {
    if (node->isDeclaration && length > 0 && name[length - 1] == '?') {
        --length;
        if (node->parent && node->parent->parent) empty = true;
    }
    if (length) addAttributeItem(run, name, length, NULL);
    return empty;
}

// Reads node's start tag after its name: attributes up to ">" or "/>".
TagOutcome readAttributes(ParseRun* run, Record* node) {
    XML& st = run->state;
    enum { expectName, haveName, haveEquals } step = expectName;
    const char* name = NULL;
    int nameLength = 0;
    for (;;) {
        if (step == expectName) {
            // Most tags end right after the name or a quoted value, and most
            // attributes are name="value": both are read directly.
            if (int close = readTagClose(&st)) {
                st.pendingText = st.document + st.position;
                return close == 2 ? TagOutcome::closed : TagOutcome::open;
            }
            QuotedAttribute a;
            if (readQuotedAttribute(&st, run->byteTable, *run->scan, &a)) {
                if (!addDecodedAttribute(run, st.document + a.name, a.nameLength,
                                         st.document + a.value, a.valueLength)) {
                    return TagOutcome::stopped;
                }
                continue;
            }
        }
        int length = 0;
        XMLTokenTypeTag type;
        NextToken token = readToken(&st, run->byteTable, *run->scan, &length, &type);
        if (type == tokenEnd) {
            reachedEnd(run, node);
            return TagOutcome::stopped;
        }
        bool closing = type == tokenTagClose || type == tokenEmptyTagClose;
        if (step == expectName && type == tokenText) {
            name = token.token;
            nameLength = length;
            step = haveName;
        } else if (step == expectName && closing) {
            st.pendingText = st.document + st.position;
            return type == tokenEmptyTagClose ? TagOutcome::closed : TagOutcome::open;
        } else if (step == haveName && type == tokenText) {
            addAttributeItem(run, name, nameLength, NULL);
            name = token.token;
            nameLength = length;
        } else if (step == haveName && closing) {
            st.pendingText = st.document + st.position;
            bool empty = closeTagWithName(run, node, name, nameLength, type == tokenEmptyTagClose);
            return empty ? TagOutcome::closed : TagOutcome::open;
        } else if (step == haveName && type == tokenEquals) {
            step = haveEquals;
        } else if (step == haveEquals && (type == tokenText || type == tokenQuoted)) {
            const char* value = token.token;
            if (node->isDeclaration && length > 0 && value[length - 1] == '?') --length;
            if (type == tokenQuoted) {  // drop the quotes
                ++value;
                length -= 2;
            }
            if (!addDecodedAttribute(run, name, nameLength, value, length)) {
                return TagOutcome::stopped;
            }
            step = expectName;
        } else {
            st.error = errorUnexpectedToken;
            return TagOutcome::stopped;
        }
    }
}

// Reads the end tag at markup; the current element closes whether or not
// the name is its own (a foreign name is left pending for the ancestors).
ContentOutcome closeByEndTag(ParseRun* run, Record* node, int markup, int openLength) {
    XML& st = run->state;
    st.position = markup + 2;  // behind "</", where a decoding error is reported
    if (!storePendingText(run, st.document + markup)) return ContentOutcome::stopped;
    const char* name;
    int length;
    EndTagName read =
        readEndTag(&st, run->byteTable, *run->scan, node->name, openLength, &name, &length);
    if (read == EndTagName::missing) {
        st.error = errorMissingEndTagName;
        return ContentOutcome::stopped;
    }
    st.pendingText = st.document + st.position;
    if (read == EndTagName::other && myTagCompare(node->name, name)) {
        st.error = warningUnmatchedEndTag;
        st.missingEndTagPosition = st.position;
        st.endTagName = name;
        st.endTagLength = length;
    }
    return ContentOutcome::closed;
}

// Reads the next piece of markup in node's content; on a start tag the new
// child is stored in *child.
ContentOutcome readContent(ParseRun* run, Record* node, Record** child) {
    XML& st = run->state;
    // Between tags there is mostly just indentation. When whitespace is
    // dropped, such a gap is no text at all: it is settled here, without
    // scanning it a second time for storePendingText.
    int markup = skipSpace(st.document, st.position);
    if (st.document[markup] == '<' && dropWhiteSpace &&
        st.pendingText == st.document + st.position) {
        st.pendingText = NULL;
    } else {
        markup = scanContent(st.document, markup, run->scan->content, run->byteTable);
    }
    const char* at = st.document + markup;
    if (*at == 0) {
        st.position = markup;
        reachedEnd(run, node);
        return ContentOutcome::stopped;
    }
    // The position moves behind each opening token before the pending text
    // is stored, so that a decoding error is reported there.
    if (const XMLClearTag* tag = matchClearTag(at)) {
        st.position = markup + tag->openLength;
        if (!storePendingText(run, at)) return ContentOutcome::stopped;
        if (!readClearBlock(run, tag)) return ContentOutcome::stopped;
        st.pendingText = st.document + st.position;
        return ContentOutcome::more;
    }
    XMLTokenTypeTag open;
    int openLength = readTagOpen(at, &open);
    if (open == tokenEndTag) {
        return closeByEndTag(run, node, markup, run->scratch.frames.back().nameLength);
    }
    st.position = markup + openLength;
    if (!storePendingText(run, at)) return ContentOutcome::stopped;
    int length = 0;
    const char* name = readName(&st, run->byteTable, *run->scan, &length);
    if (!name) {
        st.error = errorMissingStartTagName;
        return ContentOutcome::stopped;
    }
    *child = addChildItem(run, node, name, length, open == tokenDeclarationStart);
    pushFrame(run, *child, length);
    return ContentOutcome::childOpened;
}

// node has closed. Returns to its ancestors while an end tag is pending
// that did not name them; sets *node to the element whose content goes on.
// Returns false when the parse stops, and sets *done when root itself closed.
bool closeElement(ParseRun* run, const Record* root, Record** node, bool* done) {
    XML& st = run->state;
    for (;;) {
        if (*node == root) {
            *done = true;
            return true;
        }
        popFrame(run);
        *node = (*node)->parent;
        if (!st.endTagLength) return true;
        if (!(*node)->name) {
            st.error = errorUnmatchedEndTag;
            return false;
        }
        if (!myTagCompare((*node)->name, st.endTagName)) st.endTagLength = 0;
    }
}

// ParseXMLElement: reads the content of root (and its start tag's
// attributes unless this is the first call) up to and including its end.
bool parseElementTree(ParseRun* run, Record* root) {
    XML& st = run->state;
    pushFrame(run, root, -1);
    bool inStartTag = !st.isFirstCall;
    st.isFirstCall = 0;
    Record* node = root;
    bool closed = false;
    bool ok = true;
    while (ok && !closed) {
        bool ended = false;
        if (inStartTag) {
            TagOutcome outcome = readAttributes(run, node);
            ok = outcome != TagOutcome::stopped;
            ended = outcome == TagOutcome::closed;
            inStartTag = false;
        } else {
            Record* child = NULL;
            ContentOutcome outcome = readContent(run, node, &child);
            ok = outcome != ContentOutcome::stopped;
            ended = outcome == ContentOutcome::closed;
            if (outcome == ContentOutcome::childOpened) {
                node = child;
                inStartTag = true;
            }
        }
        if (ok && ended) ok = closeElement(run, root, &node, &closed);
    }
    // Whatever stopped the parse, every open element keeps what was read.
    while (run->scratch.frames.size()) popFrame(run);
    return ok;
}

}  // namespace

}  // namespace secnative::xml

bool XMLNode::ParseXMLElement(void* parseRun) {
    return secnative::xml::parseElementTree(static_cast<secnative::xml::ParseRun*>(parseRun), d);
}

char XMLNode::maybeAddTxT(void* parseRun, const char* end) {
    bool stored =
        secnative::xml::storePendingText(static_cast<secnative::xml::ParseRun*>(parseRun), end);
    return static_cast<char>(!stored);
}

char XMLNode::parseClearTag(void* parseRun, void* clearTag) {
    bool read =
        secnative::xml::readClearBlock(static_cast<secnative::xml::ParseRun*>(parseRun),
                                       static_cast<const secnative::xml::XMLClearTag*>(clearTag));
    return static_cast<char>(!read);
}
