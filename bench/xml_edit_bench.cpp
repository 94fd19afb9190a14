// Building, querying, copying and releasing XML trees through the editing
// interface, next to pugixml and tinyxml2 doing the same work.
//
// Two tree shapes, both built with the libraries' own adders, one element at
// a time and named as below:
//   wide      a root with 1,000,000 children "item";
//   balanced  a root with six levels of fan-out 10 below it (1,111,111
//             elements); the children of every node are named "n0" ... "n9".
// The operations:
//   build     create the tree (the release afterwards is not timed);
//   walk      visit every "item" of the wide tree by name, with an iterator
//             or the peers' next-sibling-by-name;
//   path      look up 100,000 random leaves of the balanced tree by their
//             path of names, "n3/n7/n1/n0/n9/n2";
//   copy      deep copy of a whole tree into a new, parentless tree or new
//             document (the release of the copy is not timed);
//   release   drop a tree built just before (the build is not timed).
// Every iteration is timed with its own clock around the operation alone,
// so set-up and tear-down stay out of the figures. Builds run twice for
// this library: with the adders' default amortised growth and with exact
// growth (one reallocation of the arrays per added element).
// Builds and copies also report their peak heap use and their allocations,
// per element, counted by the malloc wrappers of xml_bench_heap.cpp.
//
//   xml_edit_bench [--benchmark_filter=...] [--benchmark_out=file.json]
//
// Every benchmark reports the median, mean and spread of its repetitions.
#include <benchmark/benchmark.h>
#include <tinyxml2.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "xml/xml_order.h"
#include "xml/xml_parser.h"
#include "xml_bench_heap.h"

namespace {

constexpr int kWideChildren = 1000000;
constexpr int kFanOut = 10;
constexpr int kDepth = 6;
constexpr long kBalancedElements = 1111111;  // 1 + 10 + ... + 10^6
constexpr int kPaths = 100000;

const char* const kLevelNames[kFanOut] = {"n0", "n1", "n2", "n3", "n4",
                                          "n5", "n6", "n7", "n8", "n9"};

// ---- secnative, through the public XMLNode interface ----------------------

struct Ours {
    using Tree = XMLNode;

    static void addLevels(XMLNode& parent, int depth) {
        for (const char* name : kLevelNames) {
            XMLNode child = parent.addChild(name);
            if (depth > 1) addLevels(child, depth - 1);
        }
    }
    static Tree buildWide(int children) {
        XMLNode root = XMLNode::createXMLTopNode("root");
        for (int i = 0; i < children; ++i) root.addChild("item");
        return root;
    }
    static Tree buildBalanced() {
        XMLNode root = XMLNode::createXMLTopNode("root");
        addLevels(root, kDepth);
        return root;
    }
    static long rootChildren(Tree& tree) { return tree.nChildNode(); }
    static long walkWide(Tree& tree) {
        long found = 0;
        int iterator = 0;
        while (!tree.getChildNode("item", &iterator).isEmpty()) ++found;
        return found;
    }
    static long findPaths(Tree& tree, const std::vector<std::string>& paths) {
        long found = 0;
        for (const std::string& path : paths) {
            if (!tree.getChildNodeByPath(path.c_str()).isEmpty()) ++found;
        }
        return found;
    }
    static Tree deepCopy(Tree& tree) { return tree.deepCopy(); }
    static void release(Tree& tree) { tree = XMLNode(); }
};

// The same adders with exact growth, switched on around the build only.
struct OursExact : Ours {
    static Tree buildWide(int children) {
        secnative::xml::setExactGrowth(true);
        Tree tree = Ours::buildWide(children);
        secnative::xml::setExactGrowth(false);
        return tree;
    }
    static Tree buildBalanced() {
        secnative::xml::setExactGrowth(true);
        Tree tree = Ours::buildBalanced();
        secnative::xml::setExactGrowth(false);
        return tree;
    }
};

// ---- pugixml --------------------------------------------------------------

struct Pugi {
    using Tree = std::unique_ptr<pugi::xml_document>;

    static void addLevels(pugi::xml_node parent, int depth) {
        for (const char* name : kLevelNames) {
            pugi::xml_node child = parent.append_child(name);
            if (depth > 1) addLevels(child, depth - 1);
        }
    }
    static Tree buildWide(int children) {
        Tree doc(new pugi::xml_document);
        pugi::xml_node root = doc->append_child("root");
        for (int i = 0; i < children; ++i) root.append_child("item");
        return doc;
    }
    static Tree buildBalanced() {
        Tree doc(new pugi::xml_document);
        addLevels(doc->append_child("root"), kDepth);
        return doc;
    }
    static long rootChildren(Tree& tree) {
        long count = 0;
        for (pugi::xml_node child : tree->document_element().children()) {
            (void)child;
            ++count;
        }
        return count;
    }
    static long walkWide(Tree& tree) {
        long found = 0;
        pugi::xml_node root = tree->document_element();
        for (pugi::xml_node n = root.child("item"); n; n = n.next_sibling("item")) ++found;
        return found;
    }
    static long findPaths(Tree& tree, const std::vector<std::string>& paths) {
        long found = 0;
        pugi::xml_node root = tree->document_element();
        for (const std::string& path : paths) {
            if (root.first_element_by_path(path.c_str())) ++found;
        }
        return found;
    }
    static Tree deepCopy(Tree& tree) {
        Tree copy(new pugi::xml_document);
        copy->append_copy(tree->document_element());
        return copy;
    }
    static void release(Tree& tree) { tree.reset(); }
};

// ---- tinyxml2 -------------------------------------------------------------

struct Tiny {
    using Tree = std::unique_ptr<tinyxml2::XMLDocument>;

    static void addLevels(tinyxml2::XMLElement* parent, int depth) {
        for (const char* name : kLevelNames) {
            tinyxml2::XMLElement* child = parent->InsertNewChildElement(name);
            if (depth > 1) addLevels(child, depth - 1);
        }
    }
    static Tree buildWide(int children) {
        Tree doc(new tinyxml2::XMLDocument);
        tinyxml2::XMLElement* root = doc->NewElement("root");
        doc->InsertEndChild(root);
        for (int i = 0; i < children; ++i) root->InsertNewChildElement("item");
        return doc;
    }
    static Tree buildBalanced() {
        Tree doc(new tinyxml2::XMLDocument);
        tinyxml2::XMLElement* root = doc->NewElement("root");
        doc->InsertEndChild(root);
        addLevels(root, kDepth);
        return doc;
    }
    static long rootChildren(Tree& tree) {
        long count = 0;
        for (const tinyxml2::XMLElement* e = tree->RootElement()->FirstChildElement(); e;
             e = e->NextSiblingElement()) {
            ++count;
        }
        return count;
    }
    static long walkWide(Tree& tree) {
        long found = 0;
        const tinyxml2::XMLElement* root = tree->RootElement();
        for (const tinyxml2::XMLElement* e = root->FirstChildElement("item"); e;
             e = e->NextSiblingElement("item")) {
            ++found;
        }
        return found;
    }
    // tinyxml2 has no path lookup: the path is cut into names here, as an
    // application would, and followed with FirstChildElement.
    static long findPaths(Tree& tree, const std::vector<std::string>& paths) {
        long found = 0;
        const tinyxml2::XMLElement* root = tree->RootElement();
        char name[32];
        for (const std::string& path : paths) {
            const tinyxml2::XMLElement* e = root;
            const char* p = path.c_str();
            while (e && *p) {
                size_t length = std::strcspn(p, "/");
                if (length >= sizeof(name)) length = sizeof(name) - 1;
                std::memcpy(name, p, length);
                name[length] = '\0';
                e = e->FirstChildElement(name);
                p += length;
                if (*p == '/') ++p;
            }
            if (e) ++found;
        }
        return found;
    }
    static Tree deepCopy(Tree& tree) {
        Tree copy(new tinyxml2::XMLDocument);
        copy->InsertEndChild(tree->RootElement()->DeepClone(copy.get()));
        return copy;
    }
    static void release(Tree& tree) { tree.reset(); }
};

// ---- the measurements -----------------------------------------------------

struct Stopwatch {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

enum class Shape { wide, balanced };

// One tree to build, copy or release. The heap figures are taken, and the
// result checked, on the first run of a benchmark, which also warms the
// heap up; every repetition reports them.
struct Case {
    Shape shape;
    int wideChildren;
    bool measured;
    bool valid;
    xmlbench::HeapFigures heap;
};

long elementsOf(const Case& c) {
    return c.shape == Shape::wide ? c.wideChildren + 1L : kBalancedElements;
}
long rootChildrenOf(const Case& c) {
    return c.shape == Shape::wide ? c.wideChildren : kFanOut;
}

template <class Lib>
typename Lib::Tree build(const Case& c) {
    return c.shape == Shape::wide ? Lib::buildWide(c.wideChildren) : Lib::buildBalanced();
}

// Trees kept for the queries and copies, built once on first use.
template <class Lib>
typename Lib::Tree& fixture(Shape shape) {
    if (shape == Shape::wide) {
        static typename Lib::Tree wide = Lib::buildWide(kWideChildren);
        return wide;
    }
    static typename Lib::Tree balanced = Lib::buildBalanced();
    return balanced;
}

std::vector<std::string> paths;

void reportElements(benchmark::State& state, long elements, const Case* heapCase) {
    state.SetItemsProcessed(state.iterations() * elements);
    state.counters["elements"] = static_cast<double>(elements);
    if (!heapCase) return;
    double perElement = 1.0 / static_cast<double>(elements);
    state.counters["B/elem"] = static_cast<double>(heapCase->heap.peakBytes) * perElement;
    state.counters["allocs/elem"] = static_cast<double>(heapCase->heap.allocations) * perElement;
}

template <class Lib>
void buildTree(benchmark::State& state, Case* c) {
    if (!c->measured) {
        xmlbench::startCounting();
        typename Lib::Tree tree = build<Lib>(*c);
        c->heap = xmlbench::stopCounting();
        c->measured = true;
        c->valid = Lib::rootChildren(tree) == rootChildrenOf(*c);
    }
    if (!c->valid) {
        state.SkipWithError("the root does not hold the children added");
        return;
    }
    for (auto _ : state) {
        Stopwatch watch;
        typename Lib::Tree tree = build<Lib>(*c);
        state.SetIterationTime(watch.seconds());
    }
    reportElements(state, elementsOf(*c), c);
}

template <class Lib>
void copyTree(benchmark::State& state, Case* c) {
    typename Lib::Tree& source = fixture<Lib>(c->shape);
    if (!c->measured) {
        xmlbench::startCounting();
        typename Lib::Tree copy = Lib::deepCopy(source);
        c->heap = xmlbench::stopCounting();
        c->measured = true;
        c->valid = Lib::rootChildren(copy) == rootChildrenOf(*c);
    }
    if (!c->valid) {
        state.SkipWithError("the copy does not hold the source's children");
        return;
    }
    for (auto _ : state) {
        Stopwatch watch;
        typename Lib::Tree copy = Lib::deepCopy(source);
        state.SetIterationTime(watch.seconds());
    }
    reportElements(state, elementsOf(*c), c);
}

template <class Lib>
void releaseTree(benchmark::State& state, Case* c) {
    for (auto _ : state) {
        typename Lib::Tree tree = build<Lib>(*c);
        Stopwatch watch;
        Lib::release(tree);
        state.SetIterationTime(watch.seconds());
    }
    reportElements(state, elementsOf(*c), NULL);
}

template <class Lib>
void walkWide(benchmark::State& state) {
    typename Lib::Tree& tree = fixture<Lib>(Shape::wide);
    if (Lib::walkWide(tree) != kWideChildren) {
        state.SkipWithError("the walk missed children");
        return;
    }
    for (auto _ : state) {
        Stopwatch watch;
        long found = Lib::walkWide(tree);
        state.SetIterationTime(watch.seconds());
        benchmark::DoNotOptimize(found);
    }
    reportElements(state, kWideChildren, NULL);
}

template <class Lib>
void findPaths(benchmark::State& state) {
    typename Lib::Tree& tree = fixture<Lib>(Shape::balanced);
    if (Lib::findPaths(tree, paths) != static_cast<long>(paths.size())) {
        state.SkipWithError("a path lookup failed");
        return;
    }
    for (auto _ : state) {
        Stopwatch watch;
        long found = Lib::findPaths(tree, paths);
        state.SetIterationTime(watch.seconds());
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
    state.counters["lookups"] = static_cast<double>(paths.size());
}

// Random leaves of the balanced tree, the same for every library.
std::vector<std::string> leafPaths(int count) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> digit(0, kFanOut - 1);
    std::vector<std::string> result;
    result.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        std::string path;
        for (int level = 0; level < kDepth; ++level) {
            if (level) path += '/';
            path += kLevelNames[digit(random)];
        }
        result.push_back(path);
    }
    return result;
}

std::deque<Case> cases;  // registered benchmarks point into it

Case* newCase(Shape shape, int wideChildren) {
    cases.push_back(Case{shape, wideChildren, false, false, {0, 0}});
    return &cases.back();
}

// Registers one benchmark, named "<operation>_<tree>/<library>", with the
// manual clock, a fixed number of iterations and five repetitions.
template <class... Args>
void add(const std::string& name, void (*fn)(benchmark::State&, Args...), int iterations,
         Args... args) {
    benchmark::RegisterBenchmark(name.c_str(), fn, args...)
        ->UseManualTime()
        ->Iterations(iterations)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
}

template <class Lib>
void addTreeCases(const std::string& lib, bool withQueries) {
    const Shape shapes[] = {Shape::wide, Shape::balanced};
    for (Shape shape : shapes) {
        std::string tree = shape == Shape::wide ? "wide/" : "balanced/";
        tree += lib;
        int children = shape == Shape::wide ? kWideChildren : 0;
        add("build_" + tree, buildTree<Lib>, 3, newCase(shape, children));
        if (!withQueries) continue;
        add("copy_" + tree, copyTree<Lib>, 3, newCase(shape, children));
        add("release_" + tree, releaseTree<Lib>, 3, newCase(shape, children));
    }
    if (!withQueries) return;
    add("walk_wide/" + lib, walkWide<Lib>, 5);
    add("path_balanced/" + lib, findPaths<Lib>, 5);
}

}  // namespace

int main(int argc, char** argv) {
    xmlbench::keepHeapInProcess();

    paths = leafPaths(kPaths);
    addTreeCases<Ours>("secnative", true);
    addTreeCases<OursExact>("secnative-exact", false);
    addTreeCases<Pugi>("pugixml", true);
    addTreeCases<Tiny>("tinyxml2", true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
