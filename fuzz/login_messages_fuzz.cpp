// libFuzzer target for the login messages.
//
// The first 100 bytes are a greeting (zero-padded when the input is short);
// of the rest, one byte gives the user name's length (255: no user) and one
// whether there is a password, then come the user name and the password.
// Parsing must give a terminated server text in the JVM's modified UTF-8
// that differs from the sent one only where a byte was replaced, and the
// version and challenge as sent; the request must have its fixed layout and
// must not depend on password bytes beyond the 31 that count.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "login/login_messages.h"

namespace {

using namespace secnative::login;

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "login_messages_fuzz: %s\n", what);
    std::abort();
}

// Whether the terminated text is a series of well-formed sequences: one
// byte 01..7F, or C0..DF and E0..EF followed by one or two bytes 80..BF.
bool isModifiedUtf8(const char* text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    auto continuation = [](uint8_t b) { return (b & 0xC0) == 0x80; };
    while (*p) {
        if (*p < 0x80) {
            p += 1;
        } else if (*p >= 0xC0 && *p <= 0xDF && continuation(p[1])) {
            p += 2;
        } else if (*p >= 0xE0 && *p <= 0xEF && continuation(p[1]) && continuation(p[2])) {
            p += 3;
        } else {
            return false;
        }
    }
    return true;
}

// Checks the result of make_modified_utf8 against the text it was given:
// same length, only '?' where it differs, and unchanged when it was valid.
void checkMadeSafe(const std::string& before, const char* after) {
    check(std::strlen(after) == before.size(), "made-safe text changed its length");
    check(isModifiedUtf8(after), "made-safe text is not modified UTF-8");
    for (size_t i = 0; i < before.size(); ++i) {
        check(after[i] == before[i] || after[i] == '?', "made-safe text changed a byte");
    }
    if (isModifiedUtf8(before.c_str())) check(before == after, "valid text was changed");
}

void checkGreeting(const uint8_t* greeting) {
    Greeting out;
    std::memset(&out, 0xA5, sizeof out);
    parse_greeting(greeting, out);
    const char* end =
        static_cast<const char*>(std::memchr(out.server_info, 0, sizeof out.server_info));
    check(end != NULL, "server text not terminated");
    const auto* info = reinterpret_cast<const char*>(greeting);
    checkMadeSafe(std::string(info, strnlen(info, kServerInfoLimit)), out.server_info);

    const uint8_t* challenge = greeting + 64;
    const size_t sent = strnlen(reinterpret_cast<const char*>(challenge), kChallengeSize);
    for (size_t i = 0; i < kChallengeSize; ++i) {
        check(out.challenge[i] == (i < sent ? challenge[i] : 0), "challenge not as sent");
    }

    char version[sizeof out.server_version];
    std::snprintf(version, sizeof version, "%u.%u.%u", greeting[97], greeting[98], greeting[99]);
    check(std::strcmp(out.server_version, version) == 0, "version not as sent");

    // The greeting's first bytes read as a reply.
    std::unique_ptr<char[]> address(new char[sizeof "255.255.255.255"]);
    format_client_address(greeting, address.get());
    char expected[sizeof "255.255.255.255"];
    std::snprintf(expected, sizeof expected, "%u.%u.%u.%u", greeting[4], greeting[5], greeting[6],
                  greeting[7]);
    check(std::strcmp(address.get(), expected) == 0, "client address not as sent");
}

void checkRequest(const uint8_t* challenge, const char* user, const uint8_t* password,
                  size_t passwordLength, bool hasPassword) {
    // The password in a block of exactly its length, not terminated.
    std::unique_ptr<char[]> exact(new char[passwordLength ? passwordLength : 1]);
    if (passwordLength) std::memcpy(exact.get(), password, passwordLength);
    const char* pw = hasPassword ? exact.get() : nullptr;

    uint8_t request[kRequestSize];
    build_request(request, challenge, user, pw, passwordLength);
    check(request[0] == kRequestTag, "request tag");
    const uint8_t scrambled = request[61];
    check(scrambled == (pw && passwordLength ? 20 : 0), "scramble length");
    for (size_t i = 1; i < kRequestSize; ++i) {
        const bool used = (i >= 44 && i < 60) || (scrambled && i >= 62 && i < 82) || i == 61;
        check(used || request[i] == 0, "byte outside the layout is not zero");
    }
    const char* name = user ? user : kDefaultUser;
    const size_t nameLength = strnlen(name, kUserLimit);
    for (size_t i = 0; i < kUserLimit; ++i) {
        check(request[44 + i] == (i < nameLength ? static_cast<uint8_t>(name[i]) : 0),
              "user name not as given");
    }

    uint8_t again[kRequestSize];
    build_request(again, challenge, user, pw, std::min(passwordLength, kPasswordLimit));
    check(std::memcmp(request, again, kRequestSize) == 0,
          "request depends on password bytes beyond the limit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t greeting[kGreetingSize] = {};
    std::memcpy(greeting, data, std::min(size, kGreetingSize));
    checkGreeting(greeting);

    const uint8_t* rest = data + std::min(size, kGreetingSize);
    size_t left = size - std::min(size, kGreetingSize);
    const uint8_t userByte = left ? rest[0] : 255;
    const bool hasPassword = left < 2 || (rest[1] & 1);
    const size_t skip = std::min<size_t>(left, 2);
    rest += skip;
    left -= skip;

    const size_t userLength = userByte == 255 ? 0 : std::min<size_t>(userByte, left);
    const std::string user(reinterpret_cast<const char*>(rest), userLength);
    checkRequest(greeting + 64, userByte == 255 ? nullptr : user.c_str(), rest + userLength,
                 left - userLength, hasPassword);

    // The whole rest, terminated, made safe directly; a second pass keeps it.
    std::string text(reinterpret_cast<const char*>(rest), left);
    text.resize(std::strlen(text.c_str()));
    std::string safe = text;
    make_modified_utf8(&safe[0]);
    checkMadeSafe(text, safe.c_str());
    std::string twice = safe;
    make_modified_utf8(&twice[0]);
    check(twice == safe, "made-safe text changed on a second pass");
    return 0;
}
