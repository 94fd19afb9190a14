// The writer's escaping of text (xml_escape.cpp), under a byte-length table.
#ifndef SECNATIVE_XML_XML_ESCAPE_H
#define SECNATIVE_XML_XML_ESCAPE_H

#include <cstdint>

namespace secnative::xml {

// The length of the escaped form of text (without a NUL), and the escaped
// form written at out (without a NUL), returning the byte behind it. A
// character cut short by the NUL ends the text.
uint64_t escapedLength(const char* text, const signed char* table);
char* writeEscaped(char* out, const char* text, const signed char* table);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_ESCAPE_H
