// What xml_model.cpp gives the rest of the library besides the handles:
// allocation that ends the process when memory runs out, string and byte
// copies, records named in their own block, and the release of a record's
// name.
#ifndef SECNATIVE_XML_XML_MODEL_H
#define SECNATIVE_XML_XML_MODEL_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "xml/xml_node_access.h"

namespace secnative::xml {

// ---- Memory -----------------------------------------------------------------

// malloc and realloc that end the process with a message when memory runs
// out, so a failed allocation never turns into a write through NULL.
// allocate is inline: the parser calls it for every name, value and text.
[[noreturn]] void outOfMemory(size_t size);
inline void* allocate(size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (__builtin_expect(block == NULL, 0)) outOfMemory(size);
    return block;
}
void* reallocate(void* block, size_t size);

// A new malloc copy of a NUL-terminated string, or NULL for NULL; ends the
// process like allocate when memory runs out.
char* copyString(const char* text);

// Copies n bytes. Names and values are mostly a few bytes long, where a
// call into the library's memcpy costs more than the copy itself.
inline void copyBytes(char* to, const char* from, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t head;
        uint64_t tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head;
        uint32_t tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n < 4) {
        if (n) {  // the first, middle and last byte cover lengths 1 to 3
            char first = from[0];
            char middle = from[n / 2];
            char last = from[n - 1];
            to[0] = first;
            to[n / 2] = middle;
            to[n - 1] = last;
        }
    } else {
        std::memcpy(to, from, n);
    }
}

// ---- Records ----------------------------------------------------------------

// Record::flags: the name is stored with the record.
constexpr unsigned char kNameWithRecord = 1 << 5;

// A new record with refCount 1, owned by the caller, whose name is a copy
// of name stored in the same malloc block (one allocation instead of two).
Record* newRecordNamed(Record* parent, const char* name, char isDeclaration);

// Frees record's name unless it is stored with the record, and sets name
// to NULL.
void releaseName(Record* record);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_MODEL_H
