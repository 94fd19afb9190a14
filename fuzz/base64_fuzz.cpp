// libFuzzer target for the Base64 tool.
//
// The input is read twice. As text, it is measured with decodeSize and
// decoded both ways: into a block of exactly the announced size (the
// sanitizers catch a write past it), into a larger block whose bytes behind
// the announced size must stay as they were, and into the tool's own buffer,
// which must agree with the others about the bytes and their count whenever
// the text decoded completely. As data (the first byte chooses line breaks),
// it is encoded and must decode back to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml_parser.h"

namespace {

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "base64_fuzz: %s\n", what);
    std::abort();
}

constexpr size_t kCanary = 16;

// Decodes text into a block of size + kCanary bytes filled with fill,
// passing size as the room there is.
unsigned char decodeFilled(const char* text, int size, unsigned char fill,
                           std::vector<unsigned char>& block, XMLError& error) {
    block.assign(static_cast<size_t>(size) + kCanary, fill);
    return XMLParserBase64Tool::decode(text, block.data(), size, &error);
}

void checkDecoding(const char* text) {
    XMLError sizeError;
    const int size = XMLParserBase64Tool::decodeSize(text, &sizeError);
    check(size >= 0, "negative decoded size");

    // Exactly the announced room; one byte when there is none, as new[0]
    // gives nothing to write to.
    const int room = size ? size : 1;
    std::unique_ptr<unsigned char[]> exact(new unsigned char[room]);
    XMLError exactError;
    const unsigned char exactResult =
        XMLParserBase64Tool::decode(text, exact.get(), room, &exactError);
    check(exactResult <= 2, "decode result out of range");

    // Two fills: a byte written by the decoder is the same in both, a byte
    // it left alone is not.
    std::vector<unsigned char> a, b;
    XMLError errorA, errorB;
    const unsigned char result = decodeFilled(text, size, 0xA5, a, errorA);
    check(decodeFilled(text, size, 0x5A, b, errorB) == result && errorA == errorB,
          "same decoding, different outcome");
    for (size_t i = static_cast<size_t>(size); i < a.size(); ++i) {
        check(a[i] == 0xA5 && b[i] == 0x5A, "decode wrote beyond the announced size");
    }
    check((result == 2) == (errorA == errorNone), "result 2 and errorNone disagree");
    check(result != 1 || errorA == warningBase64Truncated, "cut short without its warning");
    check(
        result != 0 || errorA == errorBase64IllegalCharacter || errorA == errorBase64OutputTooSmall,
        "failure without a failure code");
    if (size > 0) {
        check(exactResult == result && exactError == errorA, "same room, different outcome");
    }
    if (result != 2) return;

    check(std::memcmp(a.data(), b.data(), static_cast<size_t>(size)) == 0,
          "complete decoding left announced bytes unwritten");
    if (size > 0) {
        check(std::memcmp(exact.get(), a.data(), static_cast<size_t>(size)) == 0,
              "same room, different bytes");
    }
    XMLParserBase64Tool tool;
    int written = -1;
    XMLError toolError;
    const unsigned char* own = tool.decode(text, &written, &toolError);
    check(written == size, "own-buffer decode wrote a different count");
    check(size == 0 || (own && std::memcmp(own, a.data(), static_cast<size_t>(size)) == 0),
          "own-buffer decode gave different bytes");
}

void checkRoundTrip(const uint8_t* data, size_t size) {
    const char lineBreaks = static_cast<char>(data[0] & 1);
    std::vector<unsigned char> bytes(data + 1, data + size);
    const unsigned length = static_cast<unsigned>(bytes.size());
    XMLParserBase64Tool tool;
    const char* encoded = tool.encode(bytes.data(), length, lineBreaks);
    check(encoded != NULL, "encode failed");
    const int needed = XMLParserBase64Tool::encodeLength(static_cast<int>(length), lineBreaks);
    // Nothing to encode still asks for the room of one group.
    if (length) {
        check(static_cast<size_t>(needed) == std::strlen(encoded) + 1,
              "encodeLength disagrees with the text");
    } else {
        check(needed >= 1 && *encoded == 0, "empty data gave text");
    }
    const std::string text(encoded);  // the tool's buffer is reused below
    XMLError error;
    check(XMLParserBase64Tool::decodeSize(text.c_str(), &error) == static_cast<int>(length) &&
              error == errorNone,
          "decodeSize of encoded text");
    std::unique_ptr<unsigned char[]> out(new unsigned char[length ? length : 1]);
    check(XMLParserBase64Tool::decode(text.c_str(), out.get(), static_cast<int>(length), &error) ==
                  2 &&
              error == errorNone,
          "encoded text did not decode");
    check(length == 0 || std::memcmp(out.get(), bytes.data(), length) == 0,
          "round trip changed the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkDecoding(text.c_str());
    if (size > 0) checkRoundTrip(data, size);
    return 0;
}
