// Entities and their decoding (xml_entities.cpp): the table of the five
// predefined entities and the decoder shared by the parser and
// fromXMLString.
#ifndef SECNATIVE_XML_XML_ENTITIES_H
#define SECNATIVE_XML_XML_ENTITIES_H

#include "xml/xml_parser.h"

namespace secnative::xml {

struct XMLEntity {
    const char* entity;  // from "&" to ";"
    int entityLength;
    char character;
};

// The five predefined entities, ended by a row with a NULL entity.
extern const XMLEntity XMLEntities[];

// fromXMLString for text known to hold no NUL within length bytes: copies
// without decoding when the text holds no "&".
char* decodeText(const char* text, int length, XML* state);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_ENTITIES_H
