// The parser's process-wide options that xml_parse_api.cpp defines beside
// the entry points; setGlobalOptions sets them, without synchronisation.
// Also the reckoning of the line and column that results report.
#ifndef SECNATIVE_XML_XML_PARSE_API_H
#define SECNATIVE_XML_XML_PARSE_API_H

namespace secnative::xml {

extern char dropWhiteSpace;
extern char removeCommentsInMiddleOfText;

// 1-based line and column of the character at byte offset position of text,
// under the current encoding: a multibyte character counts as one column.
void locate(const char* text, int position, int* line, int* column);

}  // namespace secnative::xml

#endif  // SECNATIVE_XML_XML_PARSE_API_H
