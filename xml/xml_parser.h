// XML document library: reference-counted node handles, the parser and the
// character-encoding helpers.
//
// A document is a tree of shared node records. Callers hold XMLNode values,
// handles that count the references to a record; a record is freed when its
// last handle goes, and a handle taken from inside a tree keeps its subtree
// alive after the rest of the tree is gone. Every name, value and text held
// by a tree is a NUL-terminated 8-bit string allocated with malloc.
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
    // Files longer than INT_MAX bytes are refused with errorNoXMLData.
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
    // Releases the node's subtree even while other handles refer to it; they
    // keep a valid record without name or items.
    void deleteNodeContent();

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
        void* slab;    // the parser's block this record was carved from, or NULL
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

    bool ParseXMLElement(void* parseRun);
    char maybeAddTxT(void* parseRun, const char* end);
    char parseClearTag(void* parseRun, void* clearTag);
};

SECNATIVE_EXTERN_C_BEGIN

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
