// Documents for the XML benchmark: the corpus of real-world documents and
// generated documents that stress one shape each.
#ifndef SECNATIVE_BENCH_XML_BENCH_DOCS_H
#define SECNATIVE_BENCH_XML_BENCH_DOCS_H

#include <string>
#include <vector>

namespace xmlbench {

struct Document {
    std::string name;
    std::string text;
};

// The corpus files found in directory, then the generated documents.
std::vector<Document> loadDocuments(const std::string& directory);

}  // namespace xmlbench

#endif  // SECNATIVE_BENCH_XML_BENCH_DOCS_H
