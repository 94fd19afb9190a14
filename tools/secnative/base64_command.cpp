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
#include "library_message.h"
#include "xml/xml_parser.h"

namespace secnative::tool {

namespace {

// Whole lines of 72 characters: chunks encoded one after another join up
// into the text the whole input would give.
constexpr size_t kEncodeChunk = 54 * 1024;
constexpr size_t kDecodeChunk = 64 * 1024;  // bytes read, and symbols decoded, at a time

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

// What each byte is to the decoder.
enum class Base64Class : uint8_t { illegal, symbol, pad, space };
struct Base64Classes {
    Base64Class of[256] = {};  // illegal
    constexpr Base64Classes() {
        for (const char c : "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/") {
            of[static_cast<uint8_t>(c)] = Base64Class::symbol;
        }
        of[0] = Base64Class::illegal;  // the literal's terminator
        of[static_cast<uint8_t>('=')] = Base64Class::pad;
        for (const char c : {' ', '\t', '\n', '\r'})
            of[static_cast<uint8_t>(c)] = Base64Class::space;
    }
};
constexpr Base64Classes kBase64Classes{};

// Decoding reads the text in chunks and splits it into quanta of four
// symbols, skipping whitespace anywhere. A quantum may end in one or two pads,
// and a new text may begin after it: texts joined one after another decode to
// the bytes of each. Anything else is refused, and the output is then never
// committed: an illegal byte (a pad where no pad can stand included) and a
// text that ends inside a quantum.
class Base64Decoder {
  public:
    explicit Base64Decoder(OutputFile& out) : out_(out) { pending_.reserve(kDecodeChunk + 4); }

    void feed(const uint8_t* bytes, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const char c = static_cast<char>(bytes[i]);
            switch (kBase64Classes.of[bytes[i]]) {
                case Base64Class::space:
                    continue;
                case Base64Class::symbol:  // not after a pad third in its quantum
                    if (filled_ == 3 && pending_.back() == '=') refuse(i);
                    break;
                case Base64Class::pad:  // third or fourth in a quantum
                    if (filled_ < 2) refuse(i);
                    break;
                default:
                    refuse(i);
            }
            pending_.push_back(c);
            if (++filled_ < 4) continue;
            filled_ = 0;
            // A padded quantum ends its text: the library reads pads only at
            // the end of what it decodes.
            if (c == '=' || pending_.size() >= kDecodeChunk) flush();
        }
        offset_ += n;
    }

    void finish() {
        if (filled_ != 0) throw Failure(kExitRejected, library_message(warningBase64Truncated));
        flush();
    }

  private:
    // Byte i of the current chunk cannot stand where it is.
    [[noreturn]] void refuse(size_t i) const {
        throw Failure(kExitRejected, std::string(library_message(errorBase64IllegalCharacter)) +
                                         " at byte " + std::to_string(offset_ + i + 1));
    }

    // Decodes the whole quanta gathered so far (at a quantum's end).
    void flush() {
        if (pending_.empty()) return;
        XMLError error = errorNone;
        int size = 0;
        const unsigned char* bytes = tool_.decode(pending_.c_str(), &size, &error);
        if (error != errorNone || bytes == nullptr) {
            throw Failure(kExitRejected, library_message(error));
        }
        out_.write(bytes, static_cast<size_t>(size));
        pending_.clear();
    }

    OutputFile& out_;
    XMLParserBase64Tool tool_;
    std::string pending_;  // whole quanta, then the current one; no whitespace
    int filled_ = 0;       // symbols of the current quantum
    uint64_t offset_ = 0;  // bytes of the text before the current chunk
};

void run_decode(const Base64Options& o) {
    InputFile in(o.input);
    OutputFile out(o.output);
    Base64Decoder decoder(out);
    std::vector<uint8_t> chunk(kDecodeChunk);
    for (;;) {
        const size_t n = in.read(chunk.data(), chunk.size());
        decoder.feed(chunk.data(), n);
        if (n < chunk.size()) break;
    }
    decoder.finish();
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
        "Decode Base64 text; whitespace anywhere is skipped, and texts joined one after "
        "another decode to both. An illegal character, or a text that ends inside a group "
        "of four, leaves no output file");
    files(decode);
    decode->callback([o] { run_decode(*o); });
}

}  // namespace secnative::tool
