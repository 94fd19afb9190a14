// A program built against an installed secnative: it hashes, scrambles a
// password and round-trips a small XML document, printing one line each.
#include <cstdio>
#include <cstring>

#include "crypto/sha1.h"
#include "login/password.h"
#include "xml/xml_parser.h"

int main() {
    sha1_context ctx;
    unsigned char digest[20];
    sha1_init(&ctx);
    sha1_update(&ctx, reinterpret_cast<const unsigned char*>("abc"), 3);
    sha1_final(&ctx, digest);
    for (unsigned char b : digest) std::printf("%02x", b);
    std::printf("\n");

    char stored[SCRAMBLED_PASSWORD_BUFFER];
    make_scrambled_password(stored, "secret");
    std::printf("%s\n", stored);

    XMLResults results;
    XMLNode root = XMLNode::parseString("<list><item id='1'>one</item></list>", "list", &results);
    root.addChild("item").addText("two");
    char* text = root.createXMLString(0);
    std::printf("%s\n", text);
    freeXMLString(text);
    return results.error == errorNone ? 0 : 1;
}
