// The library's message for an XMLError without its leading "Error: " or
// "Warning: ": the tool says itself whether it reports an error or a warning.
#ifndef SECNATIVE_TOOLS_LIBRARY_MESSAGE_H
#define SECNATIVE_TOOLS_LIBRARY_MESSAGE_H

#include <cstring>

#include "xml/xml_parser.h"

namespace secnative::tool {

inline const char* library_message(XMLError code) {
    const char* message = XMLNode::getError(code);
    for (const char* kind : {"Error: ", "Warning: "}) {
        const size_t n = std::strlen(kind);
        if (std::strncmp(message, kind, n) == 0) return message + n;
    }
    return message;
}

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_LIBRARY_MESSAGE_H
