// base64 encode and base64 decode, in constant memory whatever the size.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "file_io.h"
#include "xml/xml_parser.h"

namespace secnative::tool {

namespace {

// Whole lines of 72 characters: chunks encoded one after another join up
// into the text the whole input would give.
constexpr size_t kEncodeChunk = 54 * 1024;
constexpr size_t kDecodeChunk = 64 * 1024;  // symbols, a multiple of 4

struct Base64Options {
    std::string input = "-";
    std::string output = "-";
    bool wrap = false;
};

void run_encode(const Base64Options& o) {
    InputFile in(o.input);
    OutputFile out(o.output);
    XMLParserBase64Tool tool;
    std::vector<uint8_t> data(kEncodeChunk);
    bool ends_in_line_feed = true;
    for (;;) {
        const size_t n = in.read(data.data(), data.size());
        if (n == 0) break;
        const char* text = tool.encode(data.data(), static_cast<unsigned>(n), o.wrap ? 1 : 0);
        const size_t length = std::strlen(text);
        out.write(text, length);
        ends_in_line_feed = length == 0 || text[length - 1] == '\n';
        if (n < data.size()) break;
    }
    if (!ends_in_line_feed) out.write("\n", 1);
    out.commit();
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void warn(XMLError code) {
    std::fprintf(stderr, "secnative: warning: %s\n", XMLNode::getError(code));
}

// Decodes symbols (no whitespace) and writes the bytes; warnings are printed
// and an error ends the run.
void decode_symbols(const std::string& symbols, OutputFile& out, XMLParserBase64Tool& tool) {
    XMLError error = errorNone;
    XMLParserBase64Tool::decodeSize(symbols.c_str(), &error);
    if (error == warningBase64LengthNotMultipleOf4) warn(error);
    int written = 0;
    const unsigned char* bytes = tool.decode(symbols.c_str(), &written, &error);
    if (error == warningBase64Truncated) {
        warn(error);
    } else if (error != errorNone && error != warningBase64LengthNotMultipleOf4) {
        throw Failure(kExitRejected, XMLNode::getError(error));
    }
    if (bytes != nullptr) out.write(bytes, static_cast<size_t>(written));
}

void run_decode(const Base64Options& o) {
    InputFile in(o.input);
    OutputFile out(o.output);
    std::vector<uint8_t> chunk(kDecodeChunk);
    XMLParserBase64Tool tool;
    std::string symbols;
    symbols.reserve(2 * kDecodeChunk);
    for (;;) {
        const size_t n = in.read(chunk.data(), chunk.size());
        for (size_t i = 0; i < n; ++i) {
            const char c = static_cast<char>(chunk[i]);
            if (!is_space(c)) symbols.push_back(c);
        }
        // Decode whole groups as they come. Decoding ends at the first pad:
        // of what follows it only a few symbols are kept, enough for the
        // warning that the text goes on.
        const size_t pad = symbols.find('=');
        if (pad != std::string::npos && symbols.size() > pad + 8) symbols.resize(pad + 8);
        const size_t whole = (pad == std::string::npos ? symbols.size() : pad) / 4 * 4;
        if (whole >= kDecodeChunk) {
            decode_symbols(symbols.substr(0, whole), out, tool);
            symbols.erase(0, whole);
        }
        if (n < chunk.size()) break;
    }
    if (!symbols.empty()) decode_symbols(symbols, out, tool);
    out.commit();
}

}  // namespace

void add_base64_commands(CLI::App& app) {
    auto o = std::make_shared<Base64Options>();
    CLI::App* base64 = app.add_subcommand("base64", "Encode and decode Base64 text");
    base64->require_subcommand(1);
    const auto files = [&o](CLI::App* command) {
        command->add_option("input", o->input, "Input file (default -, standard input)");
        command->add_option("-o,--output", o->output, "Output file (default -, standard output)");
        command->footer(kExitStatusHelp);
    };

    CLI::App* encode = base64->add_subcommand("encode", "Encode bytes as Base64 text");
    files(encode);
    encode->add_flag("-w,--wrap", o->wrap, "Break the text into lines of 72 characters");
    encode->callback([o] { run_encode(*o); });

    CLI::App* decode = base64->add_subcommand(
        "decode",
        "Decode Base64 text (whitespace anywhere is skipped); an illegal character "
        "leaves no output file");
    files(decode);
    decode->callback([o] { run_decode(*o); });
}

}  // namespace secnative::tool
