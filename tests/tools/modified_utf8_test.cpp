// The tool's conversion of a password's bytes into the modified UTF-8 form
// that the Java side hands to the natives: characters, bytes that are not
// UTF-8, and the cut at a fixed capacity.
#include "modified_utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hex.h"

namespace {

using secnative::test::from_hex;
using secnative::test::to_hex;
using secnative::tool::to_modified_utf8;

struct Case {
    const char* name;
    const char* in;   // hex
    size_t capacity;  // of the output buffer
    const char* out;  // hex, what lands in the buffer
    size_t whole;     // the length of the whole form
};

// The outputs of the characters were checked against Java:
// new String(...).getBytes() does not give this form, but DataOutputStream.writeUTF does, after
// its two length bytes.
const Case kCases[] = {
    {"empty", "", 31, "", 0},
    {"ASCII", "736563726574", 31, "736563726574", 6},
    {"Latin-1 range, two bytes", "70c3a4737377c3b67264", 31, "70c3a4737377c3b67264", 10},
    {"three bytes (euro sign)", "e282ac", 31, "e282ac", 3},
    {"above U+FFFF becomes two surrogates", "7077f09f988078", 31, "7077eda0bdedb88078", 9},
    {"U+10000", "f0908080", 31, "eda080edb080", 6},
    {"U+10FFFF", "f48fbfbf", 31, "edafbfedbfbf", 6},
    {"NUL becomes C0 80", "610062", 31, "61c08062", 4},
    {"NUL only", "0000", 31, "c080c080", 4},
    {"cut inside a surrogate", "61616161f09f9880", 6, "616161 61eda0", 10},
    {"cut inside C0 80", "616100", 3, "6161c0", 4},
    {"cut inside two bytes", "61c3a9", 2, "61c3", 3},
    {"stray continuation byte kept", "6180bf62", 31, "6180bf62", 4},
    {"Latin-1 byte kept", "e9", 31, "e9", 1},
    {"overlong forms kept", "c0afc1bfe08080f0808080", 31, "c0afc1bfe08080f0808080", 11},
    {"encoded surrogates kept", "eda0bdedb880", 31, "eda0bdedb880", 6},
    {"C0 80 kept", "c080", 31, "c080", 2},
    {"above U+10FFFF kept", "f4908080", 31, "f4908080", 4},
    {"F5 to FF kept", "f5f8fcfeff", 31, "f5f8fcfeff", 5},
    {"sequence cut short by the end kept", "61f09f98", 31, "61f09f98", 4},
    {"bad continuation: lead kept, next read afresh", "c328e282f09f9880", 31,
     "c328e282eda0bdedb880", 10},
};

TEST(ModifiedUtf8, ConvertsAndCuts) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> in = from_hex(c.in);
        const std::vector<uint8_t> expected = from_hex(c.out);
        std::vector<uint8_t> out(c.capacity + 1, 0xAA);  // a guard byte after the capacity
        const size_t whole = to_modified_utf8(in.data(), in.size(), out.data(), c.capacity);
        EXPECT_EQ(c.whole, whole);
        ASSERT_GE(out.size(), expected.size());
        EXPECT_EQ(to_hex(expected.data(), expected.size()), to_hex(out.data(), expected.size()));
        EXPECT_EQ(0xAA, out[std::min(whole, c.capacity)]) << "wrote past the form";
        for (size_t i = 0; i < std::min(whole, c.capacity); ++i) EXPECT_NE(0, out[i]) << i;
    }
}

// What the conversion gives is modified UTF-8 already, and goes through again unchanged: a
// password stored in that form means the same on both sides.
TEST(ModifiedUtf8, LeavesItsOwnOutputUnchanged) {
    for (const Case& c : kCases) {
        if (c.whole > c.capacity) continue;
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> once = from_hex(c.out);
        std::vector<uint8_t> twice(once.size() + 1);
        EXPECT_EQ(once.size(),
                  to_modified_utf8(once.data(), once.size(), twice.data(), once.size()));
        EXPECT_EQ(to_hex(once.data(), once.size()), to_hex(twice.data(), once.size()));
    }
}

}  // namespace
