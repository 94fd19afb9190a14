// The quoting behind the parameter printers: every byte readable, nothing
// that would break a line of a test listing, long inputs cut.
#include "support/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using secnative::test::quoted;

struct QuotedCase {
    std::string bytes;
    std::string expected;
};

TEST(SupportQuoted, EscapesWhatIsNotPrintable) {
    const QuotedCase cases[] = {
        {"", "\"\""},
        {"<a x='1'/>", "\"<a x='1'/>\""},
        {"say \"hi\" \\o/", "\"say \\\"hi\\\" \\\\o/\""},
        {"a\tb\nc\rd", "\"a\\tb\\nc\\rd\""},
        {std::string("\0\x01\x1F\x7F", 4), "\"\\x00\\x01\\x1F\\x7F\""},
        {"\xC3\xA9\xFF", "\"\\xC3\\xA9\\xFF\""},
    };
    for (const QuotedCase& c : cases) EXPECT_EQ(quoted(c.bytes), c.expected);
}

TEST(SupportQuoted, NoByteGivesALineBreak) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string text = quoted(all, all.size());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(text.front(), '"');
    EXPECT_EQ(text.back(), '"');
}

TEST(SupportQuoted, CutsLongInputAndGivesItsLength) {
    EXPECT_EQ(quoted(std::string(50, 'a'), 4), "\"aaaa\"... (50 bytes)");
    EXPECT_EQ(quoted(std::string(4, 'a'), 4), "\"aaaa\"");
    EXPECT_EQ(quoted("\n\n\n", 2), "\"\\n\\n\"... (3 bytes)");
}

TEST(SupportQuoted, NullPointerIsNamed) {
    EXPECT_EQ(quoted(static_cast<const char*>(nullptr)), "NULL");
    EXPECT_EQ(quoted("text"), "\"text\"");
}

}  // namespace
