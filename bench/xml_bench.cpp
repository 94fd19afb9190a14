// XML parse throughput and heap use against the peers: pugixml, tinyxml2
// and libxml2 building trees, expat as a SAX parser that builds nothing.
//
// Each measured iteration parses a document held in memory and releases
// whatever the parser built, so that the cost of freeing a tree counts too.
// Besides MB/s, every benchmark reports the peak heap use of one parse and
// the number of allocations, both per element of the document, counted by
// the malloc wrappers of xml_bench_heap.cpp.
//
//   xml_bench [--benchmark_filter=...] [--benchmark_enable_random_interleaving=true]
//
// The corpus comes from $XML_BENCH_CORPUS, by default the documents of
// tests/data/corpus as the configure step unpacked them.
// Every benchmark reports the median of five repetitions; on a machine that
// other work is loading, random interleaving spreads that load evenly over
// the parsers.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "xml/xml_parser.h"
#include "xml_bench_docs.h"
#include "xml_bench_heap.h"

namespace {

using xmlbench::Document;

bool parseSecnative(const std::string& text) {
    XMLResults results;
    XMLNode root = XMLNode::parseString(text.c_str(), NULL, &results);
    return results.error == errorNone && !root.isEmpty();
}

bool parsePugixml(const std::string& text) {
    pugi::xml_document doc;
    return doc.load_buffer(text.data(), text.size());
}

bool parseTinyxml2(const std::string& text) {
    tinyxml2::XMLDocument doc;
    return doc.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}

bool parseLibxml2(const std::string& text) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "bench.xml", NULL,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) return false;
    xmlFreeDoc(doc);
    return true;
}

// expat builds nothing: its handlers only count, which is the least any
// application does with the events.
struct SaxCounts {
    long elements = 0;
    long characterRuns = 0;
};

void XMLCALL onStart(void* data, const XML_Char*, const XML_Char**) {
    ++static_cast<SaxCounts*>(data)->elements;
}
void XMLCALL onEnd(void*, const XML_Char*) {}
void XMLCALL onCharacters(void* data, const XML_Char*, int) {
    ++static_cast<SaxCounts*>(data)->characterRuns;
}

bool parseExpat(const std::string& text, SaxCounts* counts) {
    XML_Parser parser = XML_ParserCreate(NULL);
    XML_SetUserData(parser, counts);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onCharacters);
    bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

bool parseExpatCounting(const std::string& text) {
    SaxCounts counts;
    return parseExpat(text, &counts);
}

struct Parser {
    const char* name;
    bool (*parse)(const std::string& text);
};

const Parser kParsers[] = {
    {"secnative", parseSecnative}, {"pugixml", parsePugixml},         {"tinyxml2", parseTinyxml2},
    {"libxml2", parseLibxml2},     {"expat-sax", parseExpatCounting},
};

void parseAndRelease(benchmark::State& state, const Parser* parser, const Document* doc,
                     long elements) {
    if (!parser->parse(doc->text)) {
        state.SkipWithError("the parser rejected the document");
        return;
    }
    parser->parse(doc->text);  // warm up: the heap reaches its working size
    xmlbench::startCounting();
    parser->parse(doc->text);
    xmlbench::HeapFigures heap = xmlbench::stopCounting();

    for (auto _ : state) {
        bool ok = parser->parse(doc->text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc->text.size()));
    state.counters["elements"] = static_cast<double>(elements);
    state.counters["peak_KB"] = static_cast<double>(heap.peakBytes) / 1024.0;
    state.counters["B/elem"] = static_cast<double>(heap.peakBytes) / elements;
    state.counters["allocs/elem"] = static_cast<double>(heap.allocations) / elements;
}

}  // namespace

int main(int argc, char** argv) {
    xmlbench::keepHeapInProcess();
    xmlInitParser();

    const char* corpus = std::getenv("XML_BENCH_CORPUS");
    static std::vector<Document> documents =
        xmlbench::loadDocuments(corpus ? corpus : SECNATIVE_CORPUS_DIR);
    static std::vector<long> elementCounts;
    for (const Document& doc : documents) {
        SaxCounts counts;
        if (!parseExpat(doc.text, &counts))
            std::fprintf(stderr, "%s: not well-formed\n", doc.name.c_str());
        elementCounts.push_back(counts.elements);
    }
    for (size_t d = 0; d < documents.size(); ++d) {
        for (const Parser& parser : kParsers) {
            std::string name = documents[d].name + "/" + parser.name;
            benchmark::RegisterBenchmark(name.c_str(), parseAndRelease, &parser, &documents[d],
                                         elementCounts[d])
                ->Repetitions(5)
                ->ReportAggregatesOnly(true)
                ->MinTime(0.2)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
