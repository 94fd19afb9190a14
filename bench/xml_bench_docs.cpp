#include "xml_bench_docs.h"

#include <cstdio>
#include <string>

namespace xmlbench {

namespace {

constexpr size_t kTargetSize = 2u << 20;  // about 2 MB per generated document

bool readFile(const std::string& path, std::string* text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text->append(buffer, n);
    std::fclose(f);
    return true;
}

// Chains of 90 nested elements (tinyxml2 refuses more than 100 levels).
std::string deep() {
    std::string s = "<root>";
    while (s.size() < kTargetSize) {
        for (int i = 0; i < 90; ++i) s += "<level>";
        s += "<leaf>value</leaf>";
        for (int i = 0; i < 90; ++i) s += "</level>";
        s += '\n';
    }
    return s + "</root>";
}

// One element with a great many small children.
std::string wide() {
    std::string s = "<list>\n";
    for (int i = 0; s.size() < kTargetSize; ++i) s += "  <i>" + std::to_string(i) + "</i>\n";
    return s + "</list>";
}

// Elements carrying a dozen attributes each, no text.
std::string attributeHeavy() {
    std::string s = "<records>\n";
    for (int i = 0; s.size() < kTargetSize; ++i) {
        s += "  <r";
        for (int k = 0; k < 12; ++k) {
            s += " attr" + std::to_string(k) + "=\"value " + std::to_string(i * 12 + k) + "\"";
        }
        s += "/>\n";
    }
    return s + "</records>";
}

// Few elements holding long runs of text.
std::string textHeavy() {
    static const char* kWords[] = {"lorem",      "ipsum", "dolor", "sit", "amet",    "consectetur",
                                   "adipiscing", "elit",  "sed",   "do",  "eiusmod", "tempor"};
    std::string s = "<book>\n";
    for (int p = 0; s.size() < kTargetSize; ++p) {
        s += "<p>";
        for (int w = 0; w < 700; ++w) {
            s += kWords[(p * 7 + w * 3) % 12];
            s += (w % 15 == 14) ? ".\n" : " ";
        }
        s += "</p>\n";
    }
    return s + "</book>";
}

// Texts and attribute values dense with entities and character references.
std::string manyEntities() {
    std::string s = "<data>\n";
    for (int i = 0; s.size() < kTargetSize; ++i) {
        s += "  <e k=\"&quot;" + std::to_string(i) +
             "&quot; &amp; &lt;&gt;\">a &amp; b &lt; c &gt; d &#65;&#x42; &apos;q&apos; "
             "&amp;&amp;&lt;&lt;</e>\n";
    }
    return s + "</data>";
}

}  // namespace

std::vector<Document> loadDocuments(const std::string& directory) {
    std::vector<Document> documents;
    for (const char* file : {"freedesktop.org.xml", "xkb-rules.xml", "launchpad-wadl.xml"}) {
        Document d{file, ""};
        if (readFile(directory + "/" + file, &d.text)) documents.push_back(d);
    }
    documents.push_back({"gen-deep", deep()});
    documents.push_back({"gen-wide", wide()});
    documents.push_back({"gen-attributes", attributeHeavy()});
    documents.push_back({"gen-text", textHeavy()});
    documents.push_back({"gen-entities", manyEntities()});
    return documents;
}

}  // namespace xmlbench
