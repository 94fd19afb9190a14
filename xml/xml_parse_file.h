// What parseFile does once it holds a file's bytes, for callers that have
// read them themselves (a pipe cannot be opened a second time by name).
#ifndef SECNATIVE_XML_XML_PARSE_FILE_H
#define SECNATIVE_XML_XML_PARSE_FILE_H

#include <stddef.h>

#include "xml/xml_parser.h"

namespace secnative::xml {

// Parses size bytes as the content of a file, as parseFile does: no data is
// code 3, wide-character text is converted, a byte-order mark is skipped and
// a NUL with data after it is refused. The bytes are copied; they need no
// terminator.
XMLNode parseFileData(const void* data, size_t size, const char* tag, XMLResults* results);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_PARSE_FILE_H
