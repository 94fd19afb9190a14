// parseFile and openFileHelper: byte-order marks, wide-character files,
// missing, empty and oversized files, NULs inside the data, and the fatal
// message of the helper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "support/xml_test_util.h"
#include "xml/xml_encoding.h"
#include "xml/xml_parse_file.h"

namespace {

using xmltest::dump;

class XmlParseFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xml_parse_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }

    std::string write(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        files_.push_back(path);
        return path;
    }

    static xmltest::ParseOutcome parseFile(const std::string& path, const char* tag = NULL) {
        XMLResults results = {errorNone, -7, -7};
        XMLNode node = XMLNode::parseFile(path.c_str(), tag, &results);
        return {dump(node), results.error, results.line, results.column};
    }

    std::string dir_;
    std::vector<std::string> files_;
    xmltest::OptionsGuard guard_;
};

std::string wideBytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

TEST_F(XmlParseFile, ByteOrderMarkSkippedOnlyWhileDetectionIsOn) {
    std::string path = write("bom.xml", "\xEF\xBB\xBF<a>x</a>");
    xmltest::ParseOutcome got = parseFile(path);
    EXPECT_EQ(got.tree, "a{'x'}");
    EXPECT_EQ(got.error, errorNone);
    EXPECT_EQ(got.line, 0);  // parseFile clears the position first
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 0, 1, 1);
    EXPECT_EQ(parseFile(path).tree, "#{'\xEF\xBB\xBF',a{'x'}}");
}

TEST_F(XmlParseFile, MissingEmptyAndOversizedFiles) {
    xmltest::ParseOutcome missing = parseFile(dir_ + "/none.xml");
    EXPECT_EQ(missing.error, errorFileNotFound);
    EXPECT_EQ(missing.tree, "(empty)");
    EXPECT_EQ(missing.line, 0);
    EXPECT_EQ(missing.column, 0);
    EXPECT_EQ(parseFile(write("empty.xml", "")).error, errorNoXMLData);
    XMLResults fromMemory = {errorNone, -7, -7};
    EXPECT_TRUE(secnative::xml::parseFileData("", 0, NULL, &fromMemory).isEmpty());
    EXPECT_EQ(fromMemory.error, errorNoXMLData);
    EXPECT_TRUE(XMLNode::parseFile(NULL).isEmpty());

    // A sparse file just over 2 GiB is refused from its size alone (where
    // file offsets are 64-bit; elsewhere such a file cannot even be made).
    if constexpr (sizeof(off_t) >= 8) {
        std::string big = write("big.xml", "<a/>");
        ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(0x80000010LL)), 0);
        xmltest::ParseOutcome oversized = parseFile(big);
        EXPECT_EQ(oversized.error, errorNoXMLData);
        EXPECT_EQ(oversized.tree, "(empty)");
    }
}

TEST_F(XmlParseFile, WarningsAndErrorsCarryPositions) {
    xmltest::ParseOutcome got = parseFile(write("open.xml", "<a>\n<b>"));
    EXPECT_EQ(got.error, warningUnmatchedEndTag);
    EXPECT_EQ(got.tree, "a{b}");
    EXPECT_EQ(got.line, 2);
    EXPECT_EQ(got.column, 4);
    got = parseFile(write("tag.xml", "<a><b/></a>"), "b");
    EXPECT_EQ(got.tree, "b");
}

TEST_F(XmlParseFile, WideCharacterFilesAreConverted) {
    // With or without a whole-unit byte-order mark, at any alignment the
    // file happens to give.
    EXPECT_EQ(parseFile(write("w1.xml", wideBytes(L"<a>x</a>"))).tree, "a{'x'}");
    EXPECT_EQ(parseFile(write("w2.xml", wideBytes(L"\xFEFF<a>y</a>"))).tree, "a{'y'}");
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 0, 1, 1);
    EXPECT_NE(parseFile(write("w3.xml", wideBytes(L"<a>x</a>"))).tree, "a{'x'}");
}

TEST_F(XmlParseFile, UnconvertibleWideTextGivesCodeFourteen) {
    std::string saved = std::setlocale(LC_CTYPE, NULL);
    std::setlocale(LC_CTYPE, "C");
    xmltest::ParseOutcome got = parseFile(write("w4.xml", wideBytes(L"<a>\x00e9</a>")));
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_EQ(got.error, errorCharConversion);
    EXPECT_EQ(got.tree, "(empty)");
}

// A NUL byte, or a NUL unit of wide text, ends the text the parser sees:
// with data after it the file is refused at its position, while NULs that
// only pad the end are let be. The zero bytes inside wide units are no NULs.
TEST_F(XmlParseFile, NulInsideTheDataIsRefused) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string bytes;
        XMLError error;
        int line, column;  // 0 when no position is reported
        const char* tree;
    };
    const Case cases[] = {
        {"after the root", "<a>x</a>\0<b/>"s, errorUnexpectedToken, 1, 9, "(empty)"},
        {"inside an element", "<a>\n\0</a>"s, errorUnexpectedToken, 2, 1, "(empty)"},
        {"first byte", "\0<a/>"s, errorUnexpectedToken, 1, 1, "(empty)"},
        {"after a multibyte character", "<a>\xC3\xA9\0</a>"s, errorUnexpectedToken, 1, 5,
         "(empty)"},
        {"after a byte-order mark", "\xEF\xBB\xBF<a>\0</a>"s, errorUnexpectedToken, 1, 4,
         "(empty)"},
        {"NULs at the end", "<a/>\0"s, errorNone, 0, 0, "a"},
        {"three NULs at the end", "<a>y</a>\0\0\0"s, errorNone, 0, 0, "a{'y'}"},
        {"wide, after the root", wideBytes(L"<a>x</a>"s + L'\0' + L"<b/>"), errorUnexpectedToken, 1,
         9, "(empty)"},
        {"wide, after a mark", wideBytes(L"\xFEFF<a>\n"s + L'\0' + L"</a>"), errorUnexpectedToken,
         2, 1, "(empty)"},
        {"wide, a NUL unit at the end", wideBytes(L"<a>x</a>"s + L'\0'), errorNone, 0, 0, "a{'x'}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XMLResults results = {errorNone, -7, -7};
        XMLNode node =
            secnative::xml::parseFileData(c.bytes.data(), c.bytes.size(), NULL, &results);
        // The same bytes from a file and from memory.
        for (const xmltest::ParseOutcome& got :
             {parseFile(write("nul.xml", c.bytes)),
              xmltest::ParseOutcome{dump(node), results.error, results.line, results.column}}) {
            EXPECT_EQ(got.error, c.error);
            EXPECT_EQ(got.line, c.line);
            EXPECT_EQ(got.column, c.column);
            EXPECT_EQ(got.tree, c.tree);
        }
    }
}

TEST_F(XmlParseFile, HelperSetsTheEncodingFromTheDeclaration) {
    std::string path =
        write("latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>");
    XMLNode node = XMLNode::openFileHelper(path.c_str(), "a");
    EXPECT_EQ(dump(node), "a{'\xE9'}");
    EXPECT_EQ(secnative::xml::characterEncoding, XMLNode::encodingLegacy);
}

using XmlParseFileDeathTest = XmlParseFile;

// Runs openFileHelper in a child process that must exit with status 255;
// returns what the child wrote to standard output.
std::string helperMessage(const std::string& dir, const std::string& file, const char* tag) {
    std::string out = dir + "/stdout.txt";
    EXPECT_EXIT(
        {
            if (!std::freopen(out.c_str(), "w", stdout)) std::_Exit(1);
            XMLNode::openFileHelper(file.c_str(), tag);
        },
        ::testing::ExitedWithCode(255), "");
    std::string text;
    if (FILE* f = std::fopen(out.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
    }
    std::remove(out.c_str());
    return text;
}

TEST_F(XmlParseFileDeathTest, HelperPrintsAndExitsOnAnyCode) {
    std::string bad = write("bad.xml", "<a>\n<b></a>");
    EXPECT_EQ(helperMessage(dir_, bad, NULL),
              "XML Parsing error inside file '" + bad +
                  "'.\nWarning: Unmatched end tag\nAt line 2, column 8.\n");
    std::string other = write("other.xml", "<a/>");
    EXPECT_EQ(helperMessage(dir_, other, "zz"),
              "XML Parsing error inside file '" + other +
                  "'.\nError: First Tag not found\nAt line 0, column 0.\n"
                  "First Tag should be 'zz'.\n");
}

TEST_F(XmlParseFileDeathTest, HelperMessageHasNoLengthLimit) {
    std::string longName = dir_ + "/" + std::string(5000, 'n') + ".xml";
    std::string longTag(5000, 't');
    EXPECT_EQ(helperMessage(dir_, longName, longTag.c_str()),
              "XML Parsing error inside file '" + longName +
                  "'.\nError: File not found\nAt line 0, column 0.\n");
    std::string tagged = write("tagged.xml", "<a/>");
    EXPECT_EQ(helperMessage(dir_, tagged, longTag.c_str()),
              "XML Parsing error inside file '" + tagged +
                  "'.\nError: First Tag not found\nAt line 0, column 0.\n"
                  "First Tag should be '" +
                  longTag + "'.\n");
}

}  // namespace
