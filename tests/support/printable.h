// Readable text for GoogleTest's parameter printers. A parameter struct
// without a PrintTo() of its own is shown as raw bytes ("24-byte object
// <F5-10 ...>") in test listings and failure messages; the printers of the
// tests build their text from these helpers instead.
#ifndef SECNATIVE_TESTS_SUPPORT_PRINTABLE_H
#define SECNATIVE_TESTS_SUPPORT_PRINTABLE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace secnative::test {

// bytes in double quotes on one line: printable ASCII as it is, '"' and '\'
// escaped, tab, line feed and carriage return as \t \n \r, every other byte
// as \xNN. Longer strings are cut after limit bytes and end in "..." and
// their length. The result never holds a line break, which would split a
// line of --gtest_list_tests.
std::string quoted(std::string_view bytes, size_t limit = 40);

// As above; a null pointer gives NULL.
std::string quoted(const char* text, size_t limit = 40);

// As above. An exact match for a std::string, so that an unqualified call
// (after a using-declaration) is not taken by std::quoted, which
// argument-dependent lookup finds as well.
std::string quoted(const std::string& bytes, size_t limit = 40);

}  // namespace secnative::test

#endif  // SECNATIVE_TESTS_SUPPORT_PRINTABLE_H
