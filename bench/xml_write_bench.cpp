// XML text output and Base64 throughput against the peers, in one run.
//
// Writing: every document of the corpus and every generated one is parsed
// once by each library before any timing; each library then writes its own
// tree to text, unformatted and indented:
//
//   layout    secnative           pugixml               tinyxml2             libxml2
//   raw       createXMLString(0)  save, format_raw      XMLPrinter, compact  xmlDocDumpMemory
//   indented  createXMLString(1)  save, format_indent   XMLPrinter           xmlDocDumpFormatMemory
//
// Our indented text needs the parser's whitespace dropping (on by default);
// pugixml indents with a tab as we do, tinyxml2 and libxml2 with their own
// default of spaces.
//
// createXMLString and xmlDocDumpMemory hand out a new block on every call,
// which the measured iteration releases (freeXMLString, xmlFree): the
// release of the text is timed for every library. pugixml appends to a
// std::string and tinyxml2 prints into its printer's buffer, both kept across
// iterations. Throughput is that of the produced text (its length in bytes),
// so libraries whose text differs in size (indentation, declaration line)
// are compared per byte they write; the out_KB counter gives each length.
// libxml2 parses with XML_PARSE_NOBLANKS so that, like the other three, its
// tree holds no whitespace-only texts.
//
// Base64: encoding and decoding 1 MiB of random bytes, next to OpenSSL's
// EVP_EncodeBlock and EVP_DecodeBlock; throughput counts the binary bytes.
//
//   xml_write_bench [--benchmark_filter=...] [--benchmark_enable_random_interleaving=true]
//
// Every benchmark reports the median of five repetitions, its rate taken over
// CPU time; a summary of the medians with the ratios ours / peer follows the
// table.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "xml/xml_parser.h"
#include "xml_bench_docs.h"
#include "xml_bench_heap.h"

namespace {

using xmlbench::Document;

constexpr double kMinTime = 0.1;
constexpr double kWarmUpSeconds = 0.05;
constexpr int kRepetitions = 5;

enum Layout { kRaw, kIndented };
const char* const kLayoutNames[] = {"raw", "indented"};

// Each library's tree of one document.
struct Trees {
    XMLNode secnative;
    pugi::xml_document pugixml;
    tinyxml2::XMLDocument tinyxml2;
    xmlDocPtr libxml2 = nullptr;

    ~Trees() {
        if (libxml2) xmlFreeDoc(libxml2);
    }
};

size_t countElements(const pugi::xml_node& node) {
    struct Counter : pugi::xml_tree_walker {
        size_t elements = 0;
        bool for_each(pugi::xml_node& n) override {
            elements += n.type() == pugi::node_element;
            return true;
        }
    } counter;
    pugi::xml_node root = node;  // traverse is not const; the handle is copied
    root.traverse(counter);
    return counter.elements;
}

// The same number of elements as the source document, read back by pugixml:
// a cheap sign that our text is well-formed and complete.
void crossCheck(const Document& doc, const Trees& trees, Layout layout) {
    int size = 0;
    char* text = trees.secnative.createXMLString(layout == kIndented ? 1 : 0, &size);
    pugi::xml_document back;
    const bool parsed = text && back.load_buffer(text, static_cast<size_t>(size));
    freeXMLString(text);
    const size_t expected = countElements(trees.pugixml);
    const size_t found = parsed ? countElements(back) : 0;
    if (!parsed || found != expected) {
        std::fprintf(stderr, "%s/%s: our text %s (%zu of %zu elements)\n", doc.name.c_str(),
                     kLayoutNames[layout], parsed ? "differs" : "is not well-formed", found,
                     expected);
    }
}

std::unique_ptr<Trees> parseAll(const Document& doc) {
    std::unique_ptr<Trees> trees(new Trees);
    XMLResults results;
    trees->secnative = XMLNode::parseString(doc.text.c_str(), NULL, &results);
    bool ok = results.error == errorNone && !trees->secnative.isEmpty();
    ok = ok && trees->pugixml.load_buffer(doc.text.data(), doc.text.size());
    ok = ok && trees->tinyxml2.Parse(doc.text.data(), doc.text.size()) == tinyxml2::XML_SUCCESS;
    trees->libxml2 = xmlReadMemory(
        doc.text.data(), static_cast<int>(doc.text.size()), "bench.xml", NULL,
        XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!ok || !trees->libxml2) return nullptr;
    return trees;
}

// Times write(), which returns the length of the text it produced.
template <typename Write>
void timeWrites(benchmark::State& state, Write write) {
    const size_t bytes = write();  // the buffers and the heap reach their size
    if (bytes == 0) {
        state.SkipWithError("no text produced");
        return;
    }
    for (auto _ : state) {
        size_t n = write();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    state.counters["out_KB"] = static_cast<double>(bytes) / 1024.0;
}

void writeSecnative(benchmark::State& state, const Trees* trees, Layout layout) {
    const int format = layout == kIndented ? 1 : 0;
    timeWrites(state, [&] {
        int size = 0;
        char* text = trees->secnative.createXMLString(format, &size);
        benchmark::DoNotOptimize(text);
        freeXMLString(text);
        return text ? static_cast<size_t>(size) : 0;
    });
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

void writePugixml(benchmark::State& state, const Trees* trees, Layout layout) {
    const unsigned flags = layout == kIndented ? pugi::format_indent : pugi::format_raw;
    StringWriter writer;
    timeWrites(state, [&] {
        writer.text.clear();
        trees->pugixml.save(writer, "\t", flags);
        return writer.text.size();
    });
}

void writeTinyxml2(benchmark::State& state, const Trees* trees, Layout layout) {
    tinyxml2::XMLPrinter printer(nullptr, layout == kRaw);
    timeWrites(state, [&] {
        printer.ClearBuffer();
        trees->tinyxml2.Print(&printer);
        return static_cast<size_t>(printer.CStrSize() - 1);
    });
}

void writeLibxml2(benchmark::State& state, const Trees* trees, Layout layout) {
    timeWrites(state, [&] {
        xmlChar* text = nullptr;
        int size = 0;
        if (layout == kIndented) {
            xmlDocDumpFormatMemory(trees->libxml2, &text, &size, 1);
        } else {
            xmlDocDumpMemory(trees->libxml2, &text, &size);
        }
        benchmark::DoNotOptimize(text);
        xmlFree(text);
        return text ? static_cast<size_t>(size) : 0;
    });
}

struct Writer {
    const char* library;
    void (*write)(benchmark::State&, const Trees*, Layout);
};

const Writer kWriters[] = {{"secnative", writeSecnative},
                           {"pugixml", writePugixml},
                           {"tinyxml2", writeTinyxml2},
                           {"libxml2", writeLibxml2}};

// ---- Base64 ---------------------------------------------------------------

constexpr size_t kBinarySize = size_t{1} << 20;

// The random bytes, their Base64 text as OpenSSL writes it, and an output
// buffer with room for OpenSSL's decoding, which keeps the bytes that the
// padding stands for.
struct Base64Data {
    std::vector<unsigned char> binary = std::vector<unsigned char>(kBinarySize);
    std::vector<unsigned char> text = std::vector<unsigned char>(4 * ((kBinarySize + 2) / 3) + 1);
    std::vector<unsigned char> out = std::vector<unsigned char>(kBinarySize + 3);
    int textLength = 0;

    Base64Data() {
        std::mt19937 random(20261207);
        std::generate(binary.begin(), binary.end(),
                      [&random] { return static_cast<unsigned char>(random()); });
        textLength = EVP_EncodeBlock(text.data(), binary.data(), static_cast<int>(binary.size()));
    }
    const char* textChars() const { return reinterpret_cast<const char*>(text.data()); }
    bool decodedIntact() const {
        return std::memcmp(out.data(), binary.data(), binary.size()) == 0;
    }
};

Base64Data& base64Data() {
    static Base64Data shared;
    return shared;
}

// Times step(), which converts the 1 MiB once.
template <typename Step>
void timeConversions(benchmark::State& state, Step step) {
    for (auto _ : state) {
        step();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kBinarySize));
}

void encodeSecnative(benchmark::State& state) {
    Base64Data& d = base64Data();
    XMLParserBase64Tool tool;  // one tool: its buffer is kept across iterations
    const unsigned length = static_cast<unsigned>(d.binary.size());
    const char* text = tool.encode(d.binary.data(), length, 0);
    if (!text || std::strcmp(text, d.textChars()) != 0) {
        state.SkipWithError("our Base64 text differs from OpenSSL's");
        return;
    }
    timeConversions(state, [&] {
        char* t = tool.encode(d.binary.data(), length, 0);
        benchmark::DoNotOptimize(t);
    });
}

void encodeOpenSSL(benchmark::State& state) {
    Base64Data& d = base64Data();
    std::vector<unsigned char> text(d.text.size());
    timeConversions(state, [&] {
        int n = EVP_EncodeBlock(text.data(), d.binary.data(), static_cast<int>(d.binary.size()));
        benchmark::DoNotOptimize(n);
    });
}

void decodeSecnative(benchmark::State& state) {
    Base64Data& d = base64Data();
    const int size = static_cast<int>(kBinarySize);
    XMLError error = errorNone;
    std::fill(d.out.begin(), d.out.end(), 0);
    if (XMLParserBase64Tool::decode(d.textChars(), d.out.data(), size, &error) != 2 ||
        error != errorNone || !d.decodedIntact()) {
        state.SkipWithError("our Base64 decoding differs from the input");
        return;
    }
    timeConversions(state, [&] {
        unsigned char r = XMLParserBase64Tool::decode(d.textChars(), d.out.data(), size, NULL);
        benchmark::DoNotOptimize(r);
    });
}

void decodeOpenSSL(benchmark::State& state) {
    Base64Data& d = base64Data();
    std::fill(d.out.begin(), d.out.end(), 0);
    if (EVP_DecodeBlock(d.out.data(), d.text.data(), d.textLength) < 0 || !d.decodedIntact()) {
        state.SkipWithError("OpenSSL's Base64 decoding differs from the input");
        return;
    }
    timeConversions(state, [&] {
        int n = EVP_DecodeBlock(d.out.data(), d.text.data(), d.textLength);
        benchmark::DoNotOptimize(n);
    });
}

// ---- Summary --------------------------------------------------------------

// The console table, followed by the medians side by side with ours / peer.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    SummaryReporter(OutputOptions options, const std::vector<std::string>& documents)
        : ConsoleReporter(options), documents_(documents) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (run.aggregate_name == "median" && !run.error_occurred &&
                rate != run.counters.end()) {
                medians_[run.run_name.function_name] = rate->second.value / 1e6;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Rows and cells of benchmarks that did not run (filtered out or
    // failed) are left out or shown as "-".
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::ostream& out = GetOutputStream();
        out << "\nMedians in MB/s (10^6 bytes of produced text per second); (ours / peer)\n";
        line(out, "%-22s %-9s %10s %18s %18s %18s\n", "document", "layout", "secnative", "pugixml",
             "tinyxml2", "libxml2");
        for (const std::string& doc : documents_) {
            for (const char* layout : kLayoutNames) {
                const std::string prefix = doc + "/" + layout + "/";
                double values[4];
                bool any = false;
                for (size_t i = 0; i < 4; ++i) {
                    values[i] = median(prefix + kWriters[i].library);
                    any = any || values[i] > 0;
                }
                if (!any) continue;
                line(out, "%-22s %-9s", doc.c_str(), layout);
                oursCell(out, values[0]);
                for (size_t i = 1; i < 4; ++i) peerCell(out, values[i], values[0]);
                out << '\n';
            }
        }
        out << "\nBase64, MB/s of binary bytes (1 MiB); (ours / OpenSSL)\n";
        for (const char* op : {"encode", "decode"}) {
            const std::string prefix = std::string("base64/") + op + "/";
            const double ours = median(prefix + "secnative");
            const double theirs = median(prefix + "openssl");
            if (ours <= 0 && theirs <= 0) continue;
            line(out, "%-8s secnative", op);
            oursCell(out, ours);
            out << "  OpenSSL";
            peerCell(out, theirs, ours);
            out << '\n';
        }
    }

  private:
    double median(const std::string& name) const {
        auto it = medians_.find(name);
        return it == medians_.end() ? 0.0 : it->second;
    }

    // Our median, and a peer's median followed by ours / theirs when both ran.
    static void oursCell(std::ostream& out, double ours) {
        if (ours > 0) {
            line(out, " %10.1f", ours);
        } else {
            line(out, " %10s", "-");
        }
    }
    static void peerCell(std::ostream& out, double theirs, double ours) {
        if (theirs <= 0) {
            line(out, " %10s        ", "-");
        } else if (ours > 0) {
            line(out, " %10.1f (%5.2f)", theirs, ours / theirs);
        } else {
            line(out, " %10.1f        ", theirs);
        }
    }

    template <typename... Args>
    static void line(std::ostream& out, const char* format, Args... args) {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, format, args...);
        out << buffer;
    }

    std::vector<std::string> documents_;
    std::map<std::string, double> medians_;
};

void configure(benchmark::internal::Benchmark* b, benchmark::TimeUnit unit) {
    b->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true)
        ->MinTime(kMinTime)
        ->MinWarmUpTime(kWarmUpSeconds)
        ->Unit(unit);
}

}  // namespace

int main(int argc, char** argv) {
    xmlbench::keepHeapInProcess();
    xmlInitParser();
    // Indented output needs the parser's whitespace dropping (the default).
    XMLNode::setGlobalOptions(XMLNode::encodingUTF8, 1, 1, 1);

    const char* corpus = std::getenv("XML_BENCH_CORPUS");
    const std::vector<Document> documents =
        xmlbench::loadDocuments(corpus ? corpus : SECNATIVE_CORPUS_DIR);
    static std::vector<std::unique_ptr<Trees>> trees;
    std::vector<std::string> names;
    for (const Document& doc : documents) {
        std::unique_ptr<Trees> parsed = parseAll(doc);
        if (!parsed) {
            std::fprintf(stderr, "%s: not parsed by every library, left out\n", doc.name.c_str());
            continue;
        }
        crossCheck(doc, *parsed, kRaw);
        crossCheck(doc, *parsed, kIndented);
        for (Layout layout : {kRaw, kIndented}) {
            for (const Writer& writer : kWriters) {
                const std::string name =
                    doc.name + "/" + kLayoutNames[layout] + "/" + writer.library;
                configure(
                    benchmark::RegisterBenchmark(name.c_str(), writer.write,
                                                 static_cast<const Trees*>(parsed.get()), layout),
                    benchmark::kMillisecond);
            }
        }
        names.push_back(doc.name);
        trees.push_back(std::move(parsed));
    }
    configure(benchmark::RegisterBenchmark("base64/encode/secnative", encodeSecnative),
              benchmark::kMicrosecond);
    configure(benchmark::RegisterBenchmark("base64/encode/openssl", encodeOpenSSL),
              benchmark::kMicrosecond);
    configure(benchmark::RegisterBenchmark("base64/decode/secnative", decodeSecnative),
              benchmark::kMicrosecond);
    configure(benchmark::RegisterBenchmark("base64/decode/openssl", decodeOpenSSL),
              benchmark::kMicrosecond);

    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                   : benchmark::ConsoleReporter::OO_Tabular,
                             names);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    trees.clear();
    xmlCleanupParser();
    return 0;
}
