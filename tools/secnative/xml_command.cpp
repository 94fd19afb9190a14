// xml check, xml format and xml get: a document through the XML parser, and
// back out through the writer or a path lookup.
#include <strings.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "file_io.h"
#include "library_message.h"
#include "xml/xml_parse_file.h"
#include "xml/xml_parser.h"

namespace secnative::tool {

namespace {

// Codes 1 and 2 are warnings: the tree is complete.
bool is_error(XMLError code) {
    return code > warningNoXMLTag;
}

struct ParsedFile {
    XMLNode top;
    XMLResults results{errorNone, 0, 0};
};

// Parses a file, or standard input for "-", under the encoding its bytes
// and declaration name. The bytes are read once and parsed as they were
// read, so a pipe or a FIFO works as well as a file.
ParsedFile parse(const std::string& path, bool keep_whitespace) {
    const std::vector<char> text = read_whole(path);
    const int head = static_cast<int>(std::min<size_t>(text.size(), 4096));
    XMLNode::XMLCharEncoding encoding = XMLNode::guessCharEncoding(text.data(), head);
    if (encoding == XMLNode::encodingError) encoding = XMLNode::encodingUTF8;
    XMLNode::setGlobalOptions(encoding, 1, keep_whitespace ? 0 : 1);
    ParsedFile parsed;
    parsed.top = secnative::xml::parseFileData(text.data(), text.size(), nullptr, &parsed.results);
    return parsed;
}

// "secnative: name:line:column: error: message", as compilers report.
void report(const std::string& path, const XMLResults& r) {
    const std::string name = path == "-" ? "<stdin>" : path;
    const char* kind = is_error(r.error) ? "error" : "warning";
    if (r.line > 0) {
        std::fprintf(stderr, "secnative: %s:%d:%d: %s: %s\n", name.c_str(), r.line, r.column, kind,
                     library_message(r.error));
    } else {
        std::fprintf(stderr, "secnative: %s: %s: %s\n", name.c_str(), kind,
                     library_message(r.error));
    }
}

// Parses or ends the run with the parser's message.
XMLNode parse_or_fail(const std::string& path, bool keep_whitespace) {
    ParsedFile parsed = parse(path, keep_whitespace);
    if (parsed.results.error != errorNone) report(path, parsed.results);
    if (is_error(parsed.results.error)) throw Failure(kExitRejected, "");
    return parsed.top;
}

// The text of a node as the writer makes it, with a final line feed.
std::string node_text(const XMLNode& node, bool indent) {
    int size = 0;
    char* text = node.createXMLString(indent ? 1 : 0, &size);
    std::string out(text != nullptr ? text : "", static_cast<size_t>(size));
    freeXMLString(text);
    if (out.empty() || out.back() != '\n') out.push_back('\n');
    return out;
}

struct XmlOptions {
    std::vector<std::string> files;
    std::string input = "-";
    std::string output = "-";
    std::string path;
    bool raw = false;
    bool keep_whitespace = false;
    bool text_only = false;
};

// Every file is checked; the status is the worst outcome: a file that could
// not be read, then one with an error.
void run_check(const XmlOptions& o) {
    ExitStatus status = kExitOk;
    for (const std::string& path : o.files) {
        ParsedFile parsed;
        try {
            parsed = parse(path, o.keep_whitespace);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "secnative: %s\n", failure.what());
            status = kExitSystem;
            continue;
        }
        if (parsed.results.error != errorNone) report(path, parsed.results);
        if (is_error(parsed.results.error) && status == kExitOk) status = kExitRejected;
    }
    if (status != kExitOk) throw Failure(status, "");
}

void run_format(const XmlOptions& o) {
    const XMLNode top = parse_or_fail(o.input, o.keep_whitespace);
    OutputFile out(o.output);
    out.write(node_text(top, !o.raw));
    out.commit();
}

// The node at path from the document's top. The top is a nameless container
// or the XML declaration, which holds the elements after it; a document that
// is one element and nothing else parses to that element itself, which the
// path's first segment then names.
XMLNode find_path(XMLNode top, const std::string& path) {
    const char* root = top.getName();
    if (root == nullptr || top.isDeclaration()) return top.getChildNodeByPath(path.c_str());
    const size_t slash = path.find('/');
    const std::string first = path.substr(0, slash);
    if (strcasecmp(first.c_str(), root) != 0) return XMLNode();
    return slash == std::string::npos ? top : top.getChildNodeByPath(path.c_str() + slash + 1);
}

// PATH is a list of child names joined by "/", each naming the first child
// of that name; a last segment "@name" names an attribute of the node before.
void run_get(const XmlOptions& o) {
    XMLNode top = parse_or_fail(o.input, o.keep_whitespace);
    std::string path = o.path;
    std::string attribute;
    const size_t at = path.rfind('@');
    if (at != std::string::npos && (at == 0 || path[at - 1] == '/')) {
        attribute = path.substr(at + 1);
        path.erase(at == 0 ? 0 : at - 1);
    }
    const XMLNode node = find_path(top, path);
    if (node.isEmpty()) throw Failure(kExitRejected, "no element at " + o.path);

    std::string result;
    if (!attribute.empty()) {
        if (!node.isAttributeSet(attribute.c_str())) {
            throw Failure(kExitRejected, "no attribute at " + o.path);
        }
        result = xmltoa(node.getAttribute(attribute.c_str()));
        result.push_back('\n');
    } else if (o.text_only) {
        for (int i = 0; i < node.nText(); ++i) {
            result += node.getText(i);
            result.push_back('\n');
        }
    } else {
        result = node_text(node, !o.raw);
    }
    OutputFile out(o.output);
    out.write(result);
    out.commit();
}

}  // namespace

void add_xml_commands(CLI::App& app) {
    auto o = std::make_shared<XmlOptions>();
    CLI::App* xml = app.add_subcommand("xml", "Check, reformat and query XML documents");
    xml->require_subcommand(1);
    const auto whitespace = [&o](CLI::App* command) {
        command->add_flag("--keep-whitespace", o->keep_whitespace,
                          "Keep whitespace-only text (formatting then keeps the layout)");
        command->footer(kExitStatusHelp);
    };

    CLI::App* check = xml->add_subcommand(
        "check", "Parse each file; print each error and warning with its line and column");
    check->add_option("files", o->files, "XML files (- for standard input)")->required();
    whitespace(check);
    check->callback([o] { run_check(*o); });

    CLI::App* format = xml->add_subcommand("format", "Write a document back out, indented");
    format->add_option("input", o->input, "XML file (default -, standard input)");
    format->add_option("-o,--output", o->output, "Output file (default -, standard output)");
    format->add_flag("--raw", o->raw, "No indentation or line breaks");
    whitespace(format);
    format->callback([o] { run_format(*o); });

    CLI::App* get = xml->add_subcommand(
        "get", "Print the element at a path (a/b/c), its texts, or an attribute (a/b/@id)");
    get->add_option("path", o->path, "Path of child names joined by /")->required();
    get->add_option("input", o->input, "XML file (default -, standard input)");
    get->add_option("-o,--output", o->output, "Output file (default -, standard output)");
    get->add_flag("--text", o->text_only, "Print only the element's texts, one per line");
    get->add_flag("--raw", o->raw, "No indentation or line breaks");
    whitespace(get);
    get->callback([o] { run_get(*o); });
}

}  // namespace secnative::tool
