// Internal state of one parse.
//
// The parser walks the element nesting with a loop instead of recursion: the
// open elements are the chain of parent pointers from the current record up,
// and each has a frame on an explicit stack. Items found in an element's
// content are collected on scratch stacks shared by all levels (a child's
// items sit above its parent's, and leave when the child ends), then copied
// into arrays of exactly their size when the element ends, all of one
// element's arrays side by side in one piece of the record pool. No array is
// ever grown in place, and no depth of nesting can exhaust the call stack.
#ifndef SECNATIVE_XML_XML_PARSE_RUN_H
#define SECNATIVE_XML_XML_PARSE_RUN_H

#include <cstddef>
#include <cstdlib>

#include "xml/xml_encoding.h"
#include "xml/xml_model.h"
#include "xml/xml_node_access.h"
#include "xml/xml_parser.h"
#include "xml/xml_record_pool.h"

namespace secnative::xml {

// A growable array of plain values, reused through one parse.
template <typename T>
class ScratchStack {
  public:
    ScratchStack() = default;
    ScratchStack(const ScratchStack&) = delete;
    ScratchStack& operator=(const ScratchStack&) = delete;
    ~ScratchStack() { std::free(items_); }

    int size() const { return size_; }
    size_t capacityBytes() const { return kItemBytes * static_cast<size_t>(capacity_); }
    T* at(int index) { return items_ + index; }
    T& back() { return items_[size_ - 1]; }
    void push(const T& value) {
        if (size_ == capacity_) grow();
        items_[size_++] = value;
    }
    void pop() { --size_; }
    void truncate(int size) { size_ = size; }

    // Empties the stack, and gives its memory back when it holds more than
    // keepBytes.
    void reset(size_t keepBytes) {
        size_ = 0;
        if (kItemBytes * static_cast<size_t>(capacity_) > keepBytes) {
            std::free(items_);
            items_ = nullptr;
            capacity_ = 0;
        }
    }

  private:
    // Some stacks hold pointers, so T may itself be a pointer type.
    static constexpr size_t kItemBytes = sizeof(T);  // NOLINT(bugprone-sizeof-expression)

    void grow() {
        // Past a billion entries the count would no longer fit an int.
        if (capacity_ > (1 << 30)) outOfMemory(kItemBytes * static_cast<size_t>(capacity_) * 2);
        capacity_ = capacity_ ? capacity_ * 2 : 64;
        items_ = static_cast<T*>(reallocate(items_, kItemBytes * static_cast<size_t>(capacity_)));
    }

    T* items_ = nullptr;
    int size_ = 0;
    int capacity_ = 0;
};

// Where an open element's items begin on the scratch stacks.
struct ParseFrame {
    Record* node;
    int nameLength;  // of node's name, which end tags are read against; -1: none
    int childBase;
    int textBase;
    int clearBase;
    int attributeBase;
    int orderBase;
};

// The scratch stacks of a parse. Each thread keeps one set and reuses it
// from parse to parse, up to a small size, so that parsing an ordinary
// document does not begin by growing them again.
struct ParseScratch {
    ScratchStack<Record*> children;  // each entry owns one reference
    ScratchStack<char*> texts;
    ScratchStack<XMLClear> clears;
    ScratchStack<XMLAttribute> attributes;
    ScratchStack<int> order;  // indexes relative to the frame's bases
    ScratchStack<ParseFrame> frames;
};

// Bytes the calling thread's scratch stacks hold between parses.
size_t threadScratchBytes();

struct ParseRun {
    explicit ParseRun(const char* text);
    ~ParseRun();
    ParseRun(const ParseRun&) = delete;
    ParseRun& operator=(const ParseRun&) = delete;

    XML state;
    const signed char* byteTable;  // the encoding's byte lengths, read once
    const ScanTables* scan;        // the encoding's scanner stops
    ParseScratch& scratch;         // this thread's stacks
    RecordPool records;            // where the new elements' records come from
};

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_PARSE_RUN_H
