// libFuzzer target for entity decoding and encoding guesses on raw buffers.
//
// The first byte chooses the process-wide encoding (its low three bits; 0
// and 7 are refused and leave UTF-8), whether wide-character text is looked
// for and whether the encoding declaration is read; the rest is the text,
// handed over in a heap block of exactly its length with no NUL behind it,
// so the sanitizers catch any read past the end. Decoding it must give what
// the same call gives on a NUL-terminated copy, and the encoding guesses
// must answer with values they are allowed to give.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "support/xml_test_util.h"
#include "xml/xml_entities.h"
#include "xml/xml_parser.h"

namespace {

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "xml_text_fuzz: %s\n", what);
    std::abort();
}

using Outcome = xmltest::DecodeOutcome;
using xmltest::outcomeOf;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t bits = data[0];
    const auto encoding = static_cast<XMLNode::XMLCharEncoding>(bits & 7);
    const char guessWide = static_cast<char>((bits >> 3) & 1);
    const char useDeclaration = static_cast<char>((bits >> 4) & 1);
    xmltest::OptionsGuard restore;
    const int refused = XMLNode::setGlobalOptions(encoding, guessWide);
    check(refused == (encoding < XMLNode::encodingUTF8 || encoding > XMLNode::encodingGBK),
          "setGlobalOptions accepted the wrong encodings");

    const size_t length = size - 1;
    const int n = static_cast<int>(length);
    std::unique_ptr<char[]> exact(new char[length ? length : 1]);
    if (length) std::memcpy(exact.get(), data + 1, length);
    const char* block = length ? exact.get() : "";
    const std::string terminated(reinterpret_cast<const char*>(data + 1), length);

    XML state = {}, terminatedState = {};
    const Outcome fromBlock = outcomeOf(fromXMLString(block, n, &state), state);
    const Outcome fromCopy =
        outcomeOf(fromXMLString(terminated.c_str(), n, &terminatedState), terminatedState);
    check(fromBlock == fromCopy, "decoding depends on what lies behind the text");
    check(fromBlock.decoded == (fromBlock.error == errorNone), "result and code disagree");
    // The parser's own entry takes texts with no NUL inside; it must agree.
    if (!std::memchr(block, 0, length)) {
        XML parserState = {};
        check(
            outcomeOf(secnative::xml::decodeText(block, n, &parserState), parserState) == fromBlock,
            "the parser's decoding disagrees");
    }

    const XMLNode::XMLCharEncoding guess = XMLNode::guessCharEncoding(block, n, useDeclaration);
    check(guess >= XMLNode::encodingError && guess <= XMLNode::encodingGBK,
          "guessed encoding out of range");
    check(n >= 25 || guess == XMLNode::encodingError, "guessed from too few bytes");
    const char wide = myIsTextWideChar(block, n);
    check(wide == 0 || wide == 1, "wide-character answer not a truth value");
    check(!(guessWide && wide) || guess == XMLNode::encodingError, "wide text given an encoding");
    return 0;
}
