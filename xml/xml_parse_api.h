// The parser's process-wide options that xml_parse_api.cpp defines beside
// the entry points; setGlobalOptions sets them, without synchronisation.
#ifndef SECNATIVE_XML_XML_PARSE_API_H
#define SECNATIVE_XML_XML_PARSE_API_H

namespace secnative::xml {

extern char dropWhiteSpace;
extern char removeCommentsInMiddleOfText;

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_PARSE_API_H
