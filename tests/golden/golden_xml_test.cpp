// Golden XML texts and Base64 results: every build writes the bytes that an
// independent writer and python3's base64 module made.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "golden_data.h"
#include "xml/xml_parser.h"

namespace secnative::test {
namespace {

TEST(GoldenXml, ParsedDocumentsWriteTheirTexts) {
    const auto rows = read_golden_rows("xml_texts.txt", 3);
    ASSERT_GE(rows.size(), 12u);
    for (const auto& row : rows) {
        XMLResults results;
        XMLNode root = XMLNode::parseString(row[2].c_str(), NULL, &results);
        ASSERT_EQ(results.error, errorNone) << row[2];
        int size = -1;
        char* text = root.createXMLString(std::stoi(row[0]), &size);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(to_hex(reinterpret_cast<const uint8_t*>(text), static_cast<size_t>(size)), row[1])
            << "format " << row[0] << ": " << row[2] << "\n"
            << text;
        freeXMLString(text);
    }
}

TEST(GoldenXml, Base64EncodesAndDecodes) {
    const auto rows = read_golden_rows("base64.txt", 3);
    ASSERT_GE(rows.size(), 40u);
    XMLParserBase64Tool tool;
    for (const auto& row : rows) {
        std::vector<uint8_t> data = from_hex(row[1]);
        const char breaks = static_cast<char>(std::stoi(row[0]));
        const char* text = tool.encode(data.data(), static_cast<unsigned>(data.size()), breaks);
        ASSERT_NE(text, nullptr);
        const std::string expected(reinterpret_cast<const char*>(from_hex(row[2]).data()),
                                   row[2].size() / 2);
        EXPECT_EQ(text, expected) << row[1];
        std::vector<uint8_t> back(data.size() + 1);
        XMLError error;
        EXPECT_EQ(XMLParserBase64Tool::decode(expected.c_str(), back.data(),
                                              static_cast<int>(data.size()), &error),
                  2)
            << row[1];
        back.resize(data.size());
        EXPECT_EQ(back, data);
    }
}

}  // namespace
}  // namespace secnative::test
