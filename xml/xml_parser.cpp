// The parser: start tags with their attributes, element content, clear
// blocks and the recovery from end tags that close several elements.
//
// One loop drives the whole document. The current element is a record; a
// start tag makes a child and descends into it, an end tag (or "/>") closes
// the current element and returns to its parent. An end tag that names
// another element is left pending: each ancestor it passes closes too, the
// first one whose name it matches consumes it, and reaching the nameless top
// node is an error.
#include <cstdint>
#include <cstring>

#include "xml/xml_lexer.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parse_run.h"

namespace secnative::xml {

namespace {

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
    contentStops = scan->content;
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

// nameLength: the length of node's name when it was read as a plain name
// (see readPlainName), else -1.
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

Record* addChildItem(ParseRun* run, Record* node, const char* name, int length, char decl) {
    // The name goes in the record's own piece of the block: the record and
    // its name are read together whenever the tree is walked.
    Record* child = run->records.takeNamed(name, static_cast<size_t>(length));
    child->isDeclaration = decl;
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

// When the element's items end with text, comment, and the new text, the
// comment is dropped and the new text joins the one before it. Returns 0
// when the texts were joined, 1 when joining failed, -1 when it does not
// apply.
int joinAcrossComment(ParseRun* run, char* text) {
    const ParseFrame& frame = run->scratch.frames.back();
    int entries = run->scratch.order.size() - frame.orderBase;
    if (run->scratch.texts.size() == frame.textBase ||
        run->scratch.clears.size() == frame.clearBase || entries < 2) {
        return -1;
    }
    int last = run->scratch.order.back();
    int before = *run->scratch.order.at(run->scratch.order.size() - 2);
    if ((last & 3) != elementClear || (before & 3) != elementText ||
        run->scratch.clears.back().openTag != XMLClearTags[kClearTagComment].openDelimiter) {
        return -1;
    }
    std::free(run->scratch.clears.back().value);
    run->scratch.clears.pop();
    run->scratch.order.pop();
    char*& previous = run->scratch.texts.back();
    size_t had = std::strlen(previous);
    size_t added = std::strlen(text);
    char* joined = static_cast<char*>(std::realloc(previous, had + added + 1));
    if (!joined) {
        std::free(text);
        return 1;
    }
    std::memcpy(joined + had, text, added + 1);
    previous = joined;
    std::free(text);
    return 0;
}

}  // namespace

char storePendingText(ParseRun* run, Record* /*node*/, const char* end) {
    XML& st = run->state;
    if (!st.pendingText) return 0;
    const char* p = st.pendingText;
    if (dropWhiteSpace) {
        while (p < end && isXmlSpace(static_cast<unsigned char>(*p))) ++p;
    }
    if (p >= end) {
        st.pendingText = NULL;
        return 0;
    }
    int n = static_cast<int>(end - p);
    if (dropWhiteSpace) {
        while (n > 1 && isXmlSpace(static_cast<unsigned char>(p[n - 1]))) --n;
    }
    char* text = decodeText(p, n, &st);
    if (!text) return 1;
    st.pendingText = NULL;
    if (removeCommentsInMiddleOfText) {
        int joined = joinAcrossComment(run, text);
        if (joined >= 0) return static_cast<char>(joined);
    }
    addTextItem(run, text);
    return 0;
}

char readClearBlock(ParseRun* run, Record* /*node*/, const XMLClearTag* tag) {
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
            for (const char* bracket = std::strchr(p, ']'); bracket && !close;
                 bracket = std::strchr(bracket + 1, ']')) {
                const char* q = bracket + 1;
                while (isXmlSpace(static_cast<unsigned char>(*q))) ++q;
                if (*q == '>') {
                    close = bracket;
                    end = q + 1;
                }
            }
        }
    } else {
        close = std::strstr(content, closeTag);
        if (close) end = close + std::strlen(closeTag);
    }
    if (!close) {
        st.error = errorUnmatchedClearTagEnd;
        return 1;
    }
    st.position = static_cast<int>(end - st.document);
    addClearItem(run, copyPiece(content, static_cast<int>(close - content)), tag->openDelimiter,
                 closeTag);
    return 0;
}

namespace {

enum class TagOutcome { failed, open, closed };

// Adds an attribute read from the start tag: a copy of the name, the value
// as decoded (NULL for an attribute without "=").
void addAttributeItem(ParseRun* run, const char* name, int length, char* value) {
    XMLAttribute attribute = {copyPiece(name, length), value};
    run->scratch.attributes.push(attribute);
}

// The input ended while node was open: code 1 unless node is a declaration
// or the top node.
void reachedEnd(ParseRun* run, Record* node) {
    XML& st = run->state;
    if (!node->isDeclaration && node->parent) {
        st.error = warningUnmatchedEndTag;
        st.missingEndTagPosition = st.position;
    }
    storePendingText(run, node, st.document + st.position);
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

enum class QuickAttribute { no, read, failed };

// Reads an attribute of the usual shape, name="value" or name='value' (with
// any whitespace around the "="), as the three tokens would read it. Leaves
// everything untouched and answers no when the text has another shape.
QuickAttribute readQuotedAttribute(ParseRun* run) {
    XML& st = run->state;
    const char* doc = st.document;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(doc);
    const unsigned char* textStops = run->scan->text;
    int i = st.position;
    while (isXmlSpace(s[i])) ++i;
    // A one-byte character that no token rule singles out starts a name.
    if (textStops[s[i]] || s[i] == '"' || s[i] == '\'') return QuickAttribute::no;
    int nameStart = i;
    int next;
    int nameEnd = scanTextToken(doc, i + 1, textStops, run->byteTable, &next);
    i = next;
    while (isXmlSpace(s[i])) ++i;
    if (s[i] != '=') return QuickAttribute::no;
    ++i;
    while (isXmlSpace(s[i])) ++i;
    if (s[i] != '"' && s[i] != '\'') return QuickAttribute::no;
    int behind = scanQuoted(doc, i, run->scan->quoted, run->byteTable);
    if (behind < 0) return QuickAttribute::no;
    st.position = behind;
    char* value = decodeText(doc + i + 1, behind - i - 2, &st);
    if (!value) return QuickAttribute::failed;
    addAttributeItem(run, doc + nameStart, nameEnd - nameStart, value);
    return QuickAttribute::read;
}

// Reads node's start tag after its name: attributes up to ">" or "/>".
TagOutcome readAttributes(ParseRun* run, Record* node) {
    XML& st = run->state;
    enum { expectName, haveName, haveEquals } step = expectName;
    const char* name = NULL;
    int nameLength = 0;
    for (;;) {
        if (step == expectName) {
            // Most tags end right after the name or a quoted value: read ">"
            // and "/>" directly (as tokens they would mean the same).
            int at = st.position;
            while (isXmlSpace(static_cast<unsigned char>(st.document[at]))) ++at;
            if (st.document[at] == '>' || (st.document[at] == '/' && st.document[at + 1] == '>')) {
                bool empty = st.document[at] == '/';
                st.position = at + (empty ? 2 : 1);
                st.pendingText = st.document + st.position;
                return empty ? TagOutcome::closed : TagOutcome::open;
            }
            QuickAttribute quick = readQuotedAttribute(run);
            if (quick == QuickAttribute::failed) return TagOutcome::failed;
            if (quick == QuickAttribute::read) continue;
        }
        int length = 0;
        XMLTokenTypeTag type;
        NextToken token = readToken(&st, run->byteTable, *run->scan, &length, &type);
        if (type == tokenEnd) {
            reachedEnd(run, node);
            return TagOutcome::failed;
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
            char* decoded = decodeText(value, length, &st);
            if (!decoded) return TagOutcome::failed;
            addAttributeItem(run, name, nameLength, decoded);
            step = expectName;
        } else {
            st.error = errorUnexpectedToken;
            return TagOutcome::failed;
        }
    }
}

// Offset of the first byte from 0x80 up in [from, to), or to when there is
// none; reads eight bytes at a time through memcpy.
const char* firstNonAscii(const char* from, const char* to) {
    const uint64_t high = 0x8080808080808080ull;
    while (to - from >= 8) {
        uint64_t word;
        std::memcpy(&word, from, sizeof word);
        if (word & high) break;
        from += 8;
    }
    while (from < to && !(static_cast<unsigned char>(*from) & 0x80)) ++from;
    return from;
}

// Index of the next "<" or NUL in element content, stepping by characters.
// Every other token of content is part of the text that pendingText spans.
int scanContent(const ParseRun* run, int i) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(run->state.document);
    const unsigned char* stops = run->contentStops;
    for (int round = 0;; ++round) {
        if (round == 4) {
            // A long run of text: in every encoding bytes below 0x80 are
            // whole characters, so up to the first other byte the next "<"
            // can be searched for bytewise.
            const char* doc = run->state.document;
            const char* lt = std::strchr(doc + i, '<');
            const char* end = lt ? lt : doc + i + std::strlen(doc + i);
            const char* other = firstNonAscii(doc + i, end);
            if (other == end) return static_cast<int>(end - doc);
            i = static_cast<int>(other - doc);
        }
        if (!stops[s[i]]) {
            if (!stops[s[i + 1]]) {
                if (!stops[s[i + 2]]) {
                    if (!stops[s[i + 3]]) {
                        i += 4;
                        continue;
                    }
                    i += 3;
                } else {
                    i += 2;
                }
            } else {
                i += 1;
            }
        }
        unsigned char c = s[i];
        if (c == '<' || c == 0) return i;
        i += charLength(run->state.document + i, run->byteTable);
    }
}

// readToken for the usual case of a name right at the position that starts
// with a one-byte character no token rule singles out: a text token.
// Returns NULL, reading nothing, in every other case.
const char* readPlainName(ParseRun* run, int* length) {
    XML& st = run->state;
    int start = st.position;
    unsigned char c = static_cast<unsigned char>(st.document[start]);
    if (run->scan->text[c] || c == '"' || c == '\'') return NULL;
    int next;
    int end = scanTextToken(st.document, start + 1, run->scan->text, run->byteTable, &next);
    *length = end - start;
    st.position = next;
    return st.document + start;
}

enum class ContentOutcome { failed, childOpened, closed, more };

// Reads "</name>" at markup; the current element closes whether or not the
// name is its own (a foreign name is left pending for the ancestors).
ContentOutcome readEndTag(ParseRun* run, Record* node, int markup) {
    XML& st = run->state;
    st.position = markup + 2;  // behind "</", where a decoding error is reported
    if (storePendingText(run, node, st.document + markup)) return ContentOutcome::failed;
    // "</name>" repeating the start tag's plain name: the tokens below would
    // read exactly that name and ">", so there is nothing else to learn.
    int known = run->scratch.frames.back().nameLength;
    if (known > 0) {
        const char* at = st.document + st.position;
        if (!std::strncmp(at, node->name, static_cast<size_t>(known)) && at[known] == '>') {
            st.position += known + 1;
            st.pendingText = st.document + st.position;
            return ContentOutcome::closed;
        }
    }
    int length = 0;
    int closeLength = 0;
    XMLTokenTypeTag type;
    XMLTokenTypeTag closeType = tokenEnd;
    NextToken name = {readPlainName(run, &length), NULL};
    if (name.token) {
        type = tokenText;
    } else {
        name = readToken(&st, run->byteTable, *run->scan, &length, &type);
    }
    if (type == tokenText) {
        if (st.document[st.position] == '>') {  // as readToken would read it
            closeType = tokenTagClose;
            st.position++;
        } else {
            readToken(&st, run->byteTable, *run->scan, &closeLength, &closeType);
        }
    }
    if (type != tokenText || closeType != tokenTagClose) {
        st.error = errorMissingEndTagName;
        return ContentOutcome::failed;
    }
    st.pendingText = st.document + st.position;
    // The name nearly always repeats the start tag's exactly; the token
    // ends at a delimiter, so equal bytes are all myTagCompare would check.
    bool same = node->name && !std::strncmp(node->name, name.token, static_cast<size_t>(length)) &&
                node->name[length] == 0;
    if (!same && myTagCompare(node->name, name.token)) {
        st.error = warningUnmatchedEndTag;
        st.missingEndTagPosition = st.position;
        st.endTagName = name.token;
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
    const unsigned char* s = reinterpret_cast<const unsigned char*>(st.document);
    int markup = st.position;
    while (isXmlSpace(s[markup])) ++markup;
    if (s[markup] == '<' && dropWhiteSpace && st.pendingText == st.document + st.position) {
        st.pendingText = NULL;
    } else {
        markup = scanContent(run, markup);
    }
    const char* at = st.document + markup;
    if (*at == 0) {
        st.position = markup;
        reachedEnd(run, node);
        return ContentOutcome::failed;
    }
    // The position moves behind each opening token before the pending text
    // is stored, so that a decoding error is reported there.
    if (const XMLClearTag* tag = matchClearTag(at)) {
        st.position = markup + tag->openLength;
        if (storePendingText(run, node, at)) return ContentOutcome::failed;
        if (readClearBlock(run, node, tag)) return ContentOutcome::failed;
        st.pendingText = st.document + st.position;
        return ContentOutcome::more;
    }
    if (at[1] == '/') return readEndTag(run, node, markup);
    char declaration = static_cast<char>(at[1] == '?');
    st.position = markup + (declaration ? 2 : 1);
    if (storePendingText(run, node, at)) return ContentOutcome::failed;
    int length = 0;
    XMLTokenTypeTag type = tokenText;
    NextToken name = {readPlainName(run, &length), NULL};
    bool plain = name.token != NULL;
    if (!plain) name = readToken(&st, run->byteTable, *run->scan, &length, &type);
    if (type != tokenText) {
        st.error = errorMissingStartTagName;
        return ContentOutcome::failed;
    }
    *child = addChildItem(run, node, name.token, length, declaration);
    pushFrame(run, *child, plain ? length : -1);
    return ContentOutcome::childOpened;
}

// node has closed. Returns to its ancestors while an end tag is pending
// that did not name them; sets *node to the element whose content goes on.
// Returns false on failure, and sets *done when root itself closed.
bool closeElement(ParseRun* run, Record* root, Record** node, bool* done) {
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

}  // namespace

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
            ok = outcome != TagOutcome::failed;
            ended = outcome == TagOutcome::closed;
            inStartTag = false;
        } else {
            Record* child = NULL;
            ContentOutcome outcome = readContent(run, node, &child);
            ok = outcome != ContentOutcome::failed;
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

}  // namespace secnative::xml

bool XMLNode::ParseXMLElement(void* parseRun) {
    return secnative::xml::parseElementTree(static_cast<secnative::xml::ParseRun*>(parseRun), d);
}

char XMLNode::maybeAddTxT(void* parseRun, const char* end) {
    return secnative::xml::storePendingText(static_cast<secnative::xml::ParseRun*>(parseRun), d,
                                            end);
}

char XMLNode::parseClearTag(void* parseRun, void* clearTag) {
    return secnative::xml::readClearBlock(
        static_cast<secnative::xml::ParseRun*>(parseRun), d,
        static_cast<const secnative::xml::XMLClearTag*>(clearTag));
}
