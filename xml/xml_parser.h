// XML document library: reference-counted node handles, the parser, editing
// and queries, and the character-encoding helpers.
//
// A document is a tree of shared node records. Callers hold XMLNode values,
// handles that count the references to a record; a record is freed when its
// last handle goes, and a handle taken from inside a tree keeps its subtree
// alive after the rest of the tree is gone. Every name, value and text held
// by a tree is a NUL-terminated 8-bit string that the tree owns; strings
// handed over to it (the _WOSD forms) must come from malloc.
//
// The parser is forgiving: it recovers from end tags that close several
// elements at once and reports problems as an XMLError with the line and
// column where it stopped. Encoding and whitespace handling follow a small set
// of process-wide options (setGlobalOptions); they are not synchronised, so
// change them only while no other thread parses.
#ifndef SECNATIVE_XML_XML_PARSER_H
#define SECNATIVE_XML_XML_PARSER_H

#include <stddef.h>
#include <wchar.h>

#include "common/export.h"

// Outcome codes of the parser, the writer and the Base64 tool. Codes 1 and 2
// are warnings: a parse that ends with them still returns its tree. The
// underlying type is fixed so that any int is a value of the type (getError
// answers "Unknown" for the ones outside the table).
enum XMLError : int {
    errorNone = 0,
    warningUnmatchedEndTag = 1,
    warningNoXMLTag = 2,
    errorNoXMLData = 3,
    errorMissingStartTagName = 4,
    errorMissingEndTagName = 5,
    errorUnmatchedEndTag = 6,
    errorUnmatchedClearTagEnd = 7,
    errorUnexpectedToken = 8,
    errorNoElements = 9,
    errorFileNotFound = 10,
    errorFirstTagNotFound = 11,
    errorUnknownCharacterEntity = 12,
    errorCharacterCodeAbove255 = 13,
    errorCharConversion = 14,
    errorCannotOpenWriteFile = 15,
    errorCannotWriteFile = 16,
    warningBase64LengthNotMultipleOf4 = 17,
    errorBase64IllegalCharacter = 18,
    warningBase64Truncated = 19,
    errorBase64OutputTooSmall = 20
};

// Kinds of items a node holds. Children, texts and clear items are entered in
// the node's order list with these values in the two low bits.
enum XMLElementType {
    elementChild = 0,
    elementAttribute = 1,
    elementText = 2,
    elementClear = 3,
    elementNone = 4
};

// Where a parse stopped: 1-based line and column, counted in characters.
struct XMLResults {
    XMLError error;
    int line;
    int column;
};

// A block kept verbatim (comment, CDATA section, DOCTYPE, preformatted text).
// The two delimiters are never owned: they point into the library's static
// table or at strings the caller keeps alive for the node's lifetime.
struct XMLClear {
    char* value;
    const char* openTag;
    const char* closeTag;
};

// One attribute; value is NULL for an attribute written without "=value".
struct XMLAttribute {
    char* name;
    char* value;
};

// State of one parse, shared by the tokenizer and every level of the parser.
// Positions are byte offsets into document; documents are limited to
// INT_MAX bytes so that they always fit.
struct XML {
    const char* document;       // the text being parsed (not owned, never changed)
    const char* pendingText;    // start of content not yet stored, or NULL
    int position;               // offset of the next unread character
    int missingEndTagPosition;  // offset reported with warningUnmatchedEndTag
    XMLError error;             // 0 until a problem is found; later ones overwrite
    const char* endTagName;     // an end tag still looking for its element
    int endTagLength;           // its name's length; nonzero while one is pending
    int isFirstCall;            // set until the top node's content is read
};

class SECNATIVE_API XMLNode {
  public:
    // Any int is a value of the type; setGlobalOptions refuses unknown ones.
    enum XMLCharEncoding : int {
        encodingError = 0,  // unknown, or bytes and declaration disagree
        encodingUTF8 = 1,
        encodingLegacy = 2,  // any single-byte code page
        encodingShiftJIS = 3,
        encodingGB2312 = 4,
        encodingBig5 = 5,
        encodingGBK = 6
    };

    // An empty handle: every query on it answers with nothing.
    constexpr XMLNode() : d(NULL) {}
    XMLNode(const XMLNode& other);
    XMLNode& operator=(const XMLNode& other);
    ~XMLNode();

    // Parses a NUL-terminated text. With tag set, returns the element of that
    // name (the first element, or one of its children). results may be NULL.
    // Texts longer than INT_MAX bytes are refused with errorNoXMLData.
    static XMLNode parseString(const char* text, const char* tag = NULL,
                               XMLResults* results = NULL);
    // Reads a whole file and parses it, converting wide-character files first.
    // Files longer than INT_MAX bytes are refused with errorNoXMLData; a NUL
    // (byte, or unit of wide text) with more than NULs after it is refused with
    // errorUnexpectedToken at its line and column.
    static XMLNode parseFile(const char* fileName, const char* tag = NULL,
                             XMLResults* results = NULL);
    // parseFile after guessing the file's encoding; prints a message and ends
    // the process with status 255 on any non-zero code, warnings included.
    static XMLNode openFileHelper(const char* fileName, const char* tag = NULL);
    // The fixed message of a code; "Unknown" for values outside the table.
    static const char* getError(XMLError error);
    // Stores the three flags, then selects the encoding: 0 when it was
    // accepted, 1 when it was not (the encoding then stays as it was).
    static int setGlobalOptions(XMLCharEncoding encoding = encodingUTF8,
                                char guessWideCharChars = 1, char dropWhiteSpace = 1,
                                char removeCommentsInMiddleOfText = 1);
    static const char* getVersion();
    // Guesses the encoding of a document from its first bytes (at least 25).
    static XMLCharEncoding guessCharEncoding(const void* buffer, int length,
                                             char useEncodingAttribute = 1);

    static XMLNode emptyNode();
    char isEmpty() const { return static_cast<char>(d == NULL); }

    // ---- Editing ---------------------------------------------------------
    //
    // Every string-taking operation comes twice. The plain form copies what
    // it is given; the _WOSD form takes over the caller's malloc'd strings
    // and stores or frees every one of them before it returns, whatever the
    // outcome. Clear-item delimiters are never copied nor freed.
    //
    // pos is a position in the node's order list (children, texts and clear
    // items in document order). A negative pos, or one at or past the end,
    // appends. Otherwise the new item goes in front of the item at pos when
    // an item of its own kind stands at or after pos, and last otherwise.
    //
    // Pointers returned into a node (attributes, texts, clear items) stay
    // valid until that node's array of the same kind next changes.

    // A new parentless node; a NULL name makes a nameless container, which
    // the writer writes without tags and addChild(XMLNode) empties into its
    // target.
    static XMLNode createXMLTopNode(const char* name, char isDeclaration = 0);
    static XMLNode createXMLTopNode_WOSD(char* name, char isDeclaration = 0);

    // A new child; empty handle for a NULL name or on an empty handle.
    XMLNode addChild(const char* name, char isDeclaration = 0, int pos = -1);
    XMLNode addChild_WOSD(char* name, char isDeclaration = 0, int pos = -1);
    // Moves child, with its subtree, under this node and returns it. A
    // nameless child is a container: its children move one by one, to pos,
    // pos + 1, ... (all appended for a negative pos), and it keeps its own
    // texts, clear items and attributes. Moving a node under itself or under
    // one of its descendants would make a cycle: nothing moves and an empty
    // handle is returned.
    // Moving a child within its own parent to pos >= 0 keeps pos naming the
    // item it named before the move: when the child stood before pos, pos is
    // lowered by one once the child is taken out, then the child is placed by
    // the rule above. So with items [a, b, c], moving a to 2 gives [b, a, c].
    XMLNode addChild(XMLNode child, int pos = -1);

    // Attributes are always appended; value may be NULL (no "=value").
    XMLAttribute* addAttribute(const char* name, const char* value);
    XMLAttribute* addAttribute_WOSD(char* name, char* value);
    // Replaces the value, and the name unless newName is NULL, of attribute
    // index. Out of range: appends (newName, newValue) when newName is set,
    // else stores nothing and returns NULL.
    XMLAttribute* updateAttribute(const char* newValue, const char* newName = NULL, int index = 0);
    XMLAttribute* updateAttribute_WOSD(char* newValue, char* newName = NULL, int index = 0);
    // Updates the first attribute named oldName (any case), or appends one
    // named newName (oldName when newName is NULL).
    XMLAttribute* updateAttribute(const char* newValue, const char* newName, const char* oldName);
    XMLAttribute* updateAttribute_WOSD(char* newValue, char* newName, const char* oldName);
    // By records: updates by oldAttribute's name, or appends newAttribute
    // when oldAttribute is NULL. The _WOSD form takes over newAttribute's
    // two strings. A NULL newAttribute changes nothing and returns NULL.
    XMLAttribute* updateAttribute(XMLAttribute* newAttribute, XMLAttribute* oldAttribute);
    XMLAttribute* updateAttribute_WOSD(XMLAttribute* newAttribute, XMLAttribute* oldAttribute);
    void deleteAttribute(int index = 0);
    void deleteAttribute(const char* name);         // the first of that name, any case
    void deleteAttribute(XMLAttribute* attribute);  // by its name, as above

    // Texts and clear items passed back to the library are found by the
    // address stored in the tree, not by content; NULL means item 0.
    const char* addText(const char* text, int pos = -1);
    const char* addText_WOSD(char* text, int pos = -1);
    // Out of range (or oldText not found): appends.
    const char* updateText(const char* newText, int index = 0);
    const char* updateText_WOSD(char* newText, int index = 0);
    const char* updateText(const char* newText, const char* oldText);
    const char* updateText_WOSD(char* newText, const char* oldText);
    void deleteText(int index = 0);
    void deleteText(const char* text);

    // NULL delimiters stand for "<![CDATA[" and "]]>".
    XMLClear* addClear(const char* value, const char* openTag = NULL, const char* closeTag = NULL,
                       int pos = -1);
    XMLClear* addClear_WOSD(char* value, const char* openTag = NULL, const char* closeTag = NULL,
                            int pos = -1);
    // Replaces the value and keeps the delimiters; out of range (or not
    // found): appends a CDATA item. By records only the values count, and a
    // NULL oldClear or newClear changes nothing and returns NULL.
    XMLClear* updateClear(const char* newValue, int index = 0);
    XMLClear* updateClear_WOSD(char* newValue, int index = 0);
    XMLClear* updateClear(const char* newValue, const char* oldValue);
    XMLClear* updateClear_WOSD(char* newValue, const char* oldValue);
    XMLClear* updateClear(XMLClear* newClear, XMLClear* oldClear);
    XMLClear* updateClear_WOSD(XMLClear* newClear, XMLClear* oldClear);
    void deleteClear(int index = 0);
    void deleteClear(const char* value);
    void deleteClear(XMLClear* clear);

    // A NULL name makes the node nameless.
    const char* updateName(const char* name);
    const char* updateName_WOSD(char* name);

    // Detaches the node from its parent and releases its subtree even while
    // other handles refer to it: they keep a valid record without name or
    // items. When this handle was the last one, the record goes too and this
    // handle becomes empty.
    void deleteNodeContent();

    // ---- Queries ---------------------------------------------------------
    //
    // Names compare without regard to ASCII case. On an empty handle, and for
    // a NULL name, every query gives its empty answer: 0, NULL, an empty
    // handle, an empty record or -1. An index outside 0 ... count - 1 gives
    // the empty answer too. An iterator is the index to start a search at;
    // on success it is moved just past the item found.

    const char* getName() const;  // NULL for a nameless node
    int nChildNode() const;
    int nChildNode(const char* name) const;
    int nText() const;
    int nClear() const;
    int nAttribute() const;
    int nElement() const;  // attributes + children + texts + clear items
    char isDeclaration() const;
    XMLNode getParentNode() const;

    XMLNode getChildNode(int index = 0) const;
    const char* getText(int index = 0) const;
    XMLClear getClear(int index = 0) const;
    XMLAttribute getAttribute(int index = 0) const;
    const char* getAttributeName(int index = 0) const;
    const char* getAttributeValue(int index = 0) const;

    // The index-th child of that name; a negative index gives the last one.
    XMLNode getChildNode(const char* name, int index = 0) const;
    XMLNode getChildNode(const char* name, int* iterator) const;
    // The next child named name that has an attribute attributeName (with
    // a value equal to attributeValue, any case, unless that is NULL).
    XMLNode getChildNodeWithAttribute(const char* name, const char* attributeName,
                                      const char* attributeValue = NULL,
                                      int* iterator = NULL) const;
    // The value of the index-th attribute of that name (index <= 0: the
    // first); NULL also for an attribute written without a value.
    const char* getAttribute(const char* name, int index = 0) const;
    const char* getAttribute(const char* name, int* iterator) const;
    char isAttributeSet(const char* name) const;

    // The node at a path of child names joined by separator, each segment
    // naming the first child of that name. A NULL or empty path gives this
    // node. With createMissing, missing nodes are added on the way. A NUL
    // separator takes the whole path as one name. The non-const form writes
    // into path while it works and restores it before returning.
    XMLNode getChildNodeByPath(const char* path, char createMissing = 0, char separator = '/');
    XMLNode getChildNodeByPathNonConst(char* path, char createMissing = 0, char separator = '/');

    // Order-list positions. An index past the end names the last item of its
    // kind; -1 when there is no such item.
    int positionOfChildNode(int index = 0) const;
    int positionOfChildNode(XMLNode child) const;
    // The index-th child of that name, or the last one when there are fewer
    // (NULL name: by index alone; negative index: -1).
    int positionOfChildNode(const char* name, int index = 0) const;
    int positionOfText(int index = 0) const;
    int positionOfText(const char* text) const;
    int positionOfClear(int index = 0) const;
    int positionOfClear(const char* value) const;
    int positionOfClear(XMLClear* clear) const;
    // The index of a stored text or clear value, by address; NULL gives 0
    // when the node has an item of that kind.
    int indexText(const char* text) const;
    int indexClear(const char* value) const;

    // Item index of nElement(): attributes first, then the order list.
    // elementNone for an empty handle or an index out of range.
    struct XMLContentItem enumContents(int index) const;

    // A parentless copy of the subtree that shares no string with it (clear
    // delimiters are shared, as they are never owned).
    XMLNode deepCopy() const;

    // ---- Writing ---------------------------------------------------------

    // The text of the node and its subtree in a new block, released with
    // freeXMLString; *size (when given) receives its length. A nonzero
    // format indents with tabs and line feeds, but only while the parser
    // drops whitespace (setGlobalOptions). NULL and size 0 for an empty
    // handle, or for a text longer than INT_MAX bytes.
    char* createXMLString(int format = 1, int* size = NULL) const;
    // Writes the tree to a file, after a byte-order mark under UTF-8 and an
    // XML declaration line unless the tree starts with one; encoding names
    // the declared encoding for the single-byte and other code pages (NULL:
    // "ISO-8859-1"). An existing file is replaced only once the new text is
    // completely on disk, and nobody else can open the new text before then:
    // a failed write, a full disk included, leaves the old file as it was,
    // owner and mode included. Symbolic links are followed and stay, except
    // one that another user planted in a sticky world-writable directory
    // (errorCannotOpenWriteFile). FIFOs, devices, files with several hard
    // links and files whose owner or group could not be kept are written in
    // place, where a failure may leave them partly written.
    XMLError writeToFile(const char* fileName, const char* encoding = NULL, char format = 1) const;

    static XMLNode emptyXMLNode;
    static XMLClear emptyXMLClear;
    static XMLAttribute emptyXMLAttribute;

  private:
    friend struct XMLNodeAccess;  // the library's internals and its tests

    // One element. Arrays may hold more slots than their count while the
    // element is being built; only the counts say how many are valid.
    struct XMLNodeDataTag {
        char* name;  // NULL for the nameless top node of a parse
        int childCount;
        int textCount;
        int clearCount;
        int attributeCount;
        char isDeclaration;  // start tag began with "<?"
        XMLNodeDataTag* parent;
        XMLNode* children;  // each entry holds one reference
        char** texts;
        XMLClear* clears;
        XMLAttribute* attributes;
        int* order;    // (index << 2) | XMLElementType, document order
        int refCount;  // handles to this record, the parent's entry included
        // Bits 0-4, one per array (see xml_order.cpp): set while the array
        // has room for the power of two at or above its count, so that the
        // public adders can append without reallocating every time.
        // Bit 5: name lies in the record's own block, right behind the
        // record, and is not freed by itself.
        unsigned char flags;
        void* slab;  // the parser's block this record was carved from, or NULL
        // The parser's block holding all of the arrays above side by side,
        // or NULL when each array is a malloc block of its own. Arrays are
        // separated before any of them changes.
        void* arrays;
    };

    XMLNodeDataTag* d;

    explicit XMLNode(XMLNodeDataTag* record);
    XMLNode(XMLNodeDataTag* parent, char* name, char isDeclaration);

    void emptyTheNode(char force);
    static void exactMemory(XMLNodeDataTag* record);
    void* addToOrder(int memoryIncrease, int* pos, int count, void* array, int elementSize,
                     XMLElementType type);
    static void removeOrderElement(XMLNodeDataTag* record, XMLElementType type, int index);
    static void detachFromParent(XMLNodeDataTag* record);

    XMLNode addChild_priv(int memoryIncrease, char* name, char isDeclaration, int pos);
    XMLAttribute* addAttribute_priv(int memoryIncrease, char* name, char* value);
    const char* addText_priv(int memoryIncrease, char* text, int pos);
    XMLClear* addClear_priv(int memoryIncrease, char* value, const char* openTag,
                            const char* closeTag, int pos);

    // Writes the text of record at output (NULL: only measures) at a
    // formatting level (-1: none) and returns its length in bytes, without a
    // NUL; -1 when it would exceed INT_MAX bytes.
    static int CreateXMLStringR(XMLNodeDataTag* record, char* output, int level);

    bool ParseXMLElement(void* parseRun);
    char maybeAddTxT(void* parseRun, const char* end);
    char parseClearTag(void* parseRun, void* clearTag);
};

// One item of a node as enumContents reports it. Only the field that type
// names is meaningful; child is an empty handle for the other kinds.
struct XMLContentItem {
    XMLElementType type;
    XMLNode child;
    XMLAttribute attribute;
    const char* text;
    XMLClear clear;
};

// Escapes text for XML: the bytes & < > " ' become entities, and every
// other character is copied whole, a multibyte character of the current
// encoding included (a character cut short by the NUL ends the text and is
// left out: written, its lead byte would swallow the markup behind it).
class SECNATIVE_API ToXMLStringTool {
  public:
    ToXMLStringTool() : buffer(NULL), bufferSize(0) {}
    ToXMLStringTool(const ToXMLStringTool&) = delete;
    ToXMLStringTool& operator=(const ToXMLStringTool&) = delete;
    ~ToXMLStringTool();

    // The escaped text in the tool's buffer, valid until the next call or
    // freeBuffer; NULL, with the buffer unchanged, for a text whose escaped
    // form would exceed INT_MAX bytes.
    char* toXML(const char* source);
    void freeBuffer();
    // Bytes of the escaped form, without a NUL; -1 beyond INT_MAX.
    static int lengthXMLString(const char* source);
    // Writes the escaped form and a NUL; destination must hold
    // lengthXMLString(source) + 1 bytes.
    static char* toXMLUnSafe(char* destination, const char* source);

  private:
    char* buffer;
    int bufferSize;
};

// Base64 (RFC 4648 alphabet, "=" pads) for binary data in XML text. Decoding
// skips whitespace anywhere and reports malformed text through XMLError.
class SECNATIVE_API XMLParserBase64Tool {
  public:
    XMLParserBase64Tool() : buffer(NULL), bufferSize(0) {}
    XMLParserBase64Tool(const XMLParserBase64Tool&) = delete;
    XMLParserBase64Tool& operator=(const XMLParserBase64Tool&) = delete;
    ~XMLParserBase64Tool();

    // Buffer bytes that encode needs, NUL included; lineBreaks adds a line
    // feed after every 72 characters. 0 when that would exceed INT_MAX.
    static int encodeLength(int length, char lineBreaks = 0);
    // The Base64 text of data in the tool's buffer, NUL-terminated.
    char* encode(unsigned char* data, unsigned int length, char lineBreaks = 0);
    // The number of bytes text decodes to.
    static int decodeSize(const char* text, XMLError* error = NULL);
    // Decodes into output, never writing beyond outputSize bytes: 2 when the
    // text decoded completely, 1 when it was cut short (the bytes before the
    // cut are written), 0 on failure.
    static unsigned char decode(const char* text, unsigned char* output, int outputSize,
                                XMLError* error = NULL);
    // Decodes into the tool's buffer (not NUL-terminated); *size receives
    // the number of bytes written. NULL on failure or for a text that
    // announces no bytes at all.
    unsigned char* decode(const char* text, int* size = NULL, XMLError* error = NULL);
    // Makes the tool's buffer hold at least size bytes and returns it.
    void* alloc(int size);
    void freeBuffer();

  private:
    void* buffer;
    int bufferSize;
};

SECNATIVE_EXTERN_C_BEGIN

// Releases a text made by createXMLString; NULL does nothing.
SECNATIVE_API void freeXMLString(char* text);

// Values of attribute texts, with a default for a NULL (or, but for xmltoa,
// empty) text. Numbers are read by strtol or strtod in base 10 and clamped
// to the result type, so every build gives the same value: xmltoi to the
// int range, xmltol to the build's long; xmltob keeps the low 8 bits of the
// value clamped to the int range (nonzero is true).
SECNATIVE_API char xmltob(const char* text, char value = 0);
SECNATIVE_API int xmltoi(const char* text, int value = 0);
SECNATIVE_API long xmltol(const char* text, long value = 0);
SECNATIVE_API double xmltof(const char* text, double value = 0);
SECNATIVE_API const char* xmltoa(const char* text, const char* value = "");
SECNATIVE_API char xmltoc(const char* text, char value = 0);

// A new malloc block holding the first length bytes of source and a NUL;
// length -1 copies the whole string. NULL for a NULL source or when the
// allocation fails.
SECNATIVE_API char* stringDup(const char* source, int length = -1);

// Decodes entities and character references in at most length bytes of
// text. Returns a new malloc string, or NULL with state->error set to
// errorUnknownCharacterEntity or errorCharacterCodeAbove255.
SECNATIVE_API char* fromXMLString(const char* text, int length, struct XML* state);

// Whether a buffer looks like text in the platform's wide-character type.
SECNATIVE_API char myIsTextWideChar(const void* buffer, int length);

// Converts a wide string to a new malloc multibyte string under the current
// locale; NULL when it cannot be converted.
SECNATIVE_API char* myWideCharToMultiByte(const wchar_t* text);

// 0 when text starts with name (ignoring case) followed by whitespace, "/",
// "<", ">" or "="; 1 otherwise.
SECNATIVE_API int myTagCompare(const char* name, const char* text);

SECNATIVE_EXTERN_C_END

#endif  // SECNATIVE_XML_XML_PARSER_H
