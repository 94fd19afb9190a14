// Parsing and writing on several threads at once, with the process-wide
// options left as they are: every thread gets, for each document, the tree,
// the outcome and the written text a single thread gets, and every block the
// parses took comes back.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/xml_test_util.h"
#include "xml/xml_record_pool.h"

namespace {

// Documents that take the parser down its different paths: entities,
// character references, clear tags, declarations, recovered end tags,
// multibyte text, errors, and one large enough to need several blocks.
std::vector<std::string> documents() {
    std::vector<std::string> docs = {
        "<?xml version='1.0'?><a x='1' y=\"&lt;2&gt;\">t&amp;u<b/><c z='&#65;'>v</c></a>",
        "<r><!-- note --><![CDATA[<raw> & ]]><p>one</p> <p>two</p></r>",
        "<a><b><c>close all</a>",
        "<doc>caf\xC3\xA9 \xE2\x82\xAC <w k='\xC3\xA9'/></doc>",
        "<a><b></c></a>",
        "<!DOCTYPE d [<!ENTITY e 'x'>]><d>&#x41;&#66;</d>",
        "<unclosed attr='1'",
        "  \n<spaced>  a  <i> b </i>  </spaced>\n",
    };
    std::string large = "<big>";
    for (int i = 0; i < 1500; ++i) {
        large += "<e n='" + std::to_string(i) + "'>" + std::to_string(i * 7) + "</e>";
    }
    docs.push_back(large + "</big>");
    return docs;
}

// What one parse of a document gives, with the tree written both ways.
struct Outcome {
    std::string tree;
    XMLError error = errorNone;
    int line = 0;
    int column = 0;
    std::string formatted;
    std::string compact;

    bool operator==(const Outcome& o) const {
        return tree == o.tree && error == o.error && line == o.line && column == o.column &&
               formatted == o.formatted && compact == o.compact;
    }
};

Outcome parseAndWrite(const std::string& text) {
    XMLResults results{};  // a parse without error leaves line and column as they are
    XMLNode node = XMLNode::parseString(text.c_str(), NULL, &results);
    return {xmltest::dump(node),
            results.error,
            results.line,
            results.column,
            xmltest::written(node, 1),
            xmltest::written(node.deepCopy(), 0)};
}

TEST(XmlParseThreads, EveryThreadGetsTheSingleThreadResult) {
    const std::vector<std::string> docs = documents();
    const size_t blocksBefore = secnative::xml::liveBlocks();
    std::vector<Outcome> expected;
    expected.reserve(docs.size());
    for (const std::string& doc : docs) expected.push_back(parseAndWrite(doc));
    ASSERT_EQ(expected[0].error, errorNone);
    ASSERT_NE(expected[6].error, errorNone);  // the cases include a failing parse

    constexpr int kThreads = 4;
    constexpr int kRounds = 12;
    // Per thread and document, the rounds whose outcome differed, and the
    // first such outcome.
    std::vector<std::vector<int>> mismatches(kThreads, std::vector<int>(docs.size(), 0));
    std::vector<std::vector<Outcome>> firstMismatch(kThreads, std::vector<Outcome>(docs.size()));
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Each thread starts at another document, so different
                // documents are parsed at the same moment.
                for (size_t k = 0; k < docs.size(); ++k) {
                    const size_t i = (k + static_cast<size_t>(t)) % docs.size();
                    Outcome got = parseAndWrite(docs[i]);
                    if (got == expected[i]) continue;
                    if (mismatches[t][i]++ == 0) firstMismatch[t][i] = got;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (size_t i = 0; i < docs.size(); ++i) {
            if (mismatches[t][i] == 0) continue;
            ADD_FAILURE() << "thread " << t << ", document " << i << ": " << mismatches[t][i]
                          << " of " << kRounds << " rounds differ, the first as:";
            const Outcome& got = firstMismatch[t][i];
            EXPECT_EQ(got.tree, expected[i].tree);
            EXPECT_EQ(got.error, expected[i].error);
            EXPECT_EQ(got.line, expected[i].line);
            EXPECT_EQ(got.column, expected[i].column);
            EXPECT_EQ(got.formatted, expected[i].formatted);
            EXPECT_EQ(got.compact, expected[i].compact);
        }
    }
    EXPECT_EQ(secnative::xml::liveBlocks(), blocksBefore);
}

}  // namespace
