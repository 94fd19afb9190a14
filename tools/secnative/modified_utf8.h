// The form in which the Java side hands a password to the cipher and the
// login: the virtual machine's modified UTF-8, of which at most the first
// kPasswordLimit bytes count. The tool turns the bytes it reads into the same
// form, so that a password typed on either side makes the same key.
#ifndef SECNATIVE_TOOLS_MODIFIED_UTF8_H
#define SECNATIVE_TOOLS_MODIFIED_UTF8_H

#include <cstddef>
#include <cstdint>

namespace secnative::tool {

// Writes the modified UTF-8 form of in[0, size) to out, at most capacity
// bytes, cut wherever out fills, even inside a character (as the Java side
// cuts the same form). Returns the length of the whole form, which is above
// capacity when it was cut.
//
// in is taken as UTF-8. Well-formed characters up to U+FFFF keep their bytes,
// except U+0000, which becomes C0 80; a character above U+FFFF (four bytes)
// becomes its two UTF-16 surrogates, three bytes each. Every byte that does
// not belong to a well-formed character (a stray continuation byte, an
// overlong form, an encoded surrogate, a sequence cut short, F5 to FF) is kept
// as it is, so text already in modified UTF-8 comes out unchanged. The result
// never holds a zero byte.
size_t to_modified_utf8(const uint8_t* in, size_t size, uint8_t* out, size_t capacity);

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_MODIFIED_UTF8_H
