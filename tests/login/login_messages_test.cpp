// The login messages without Java: greeting fields, the request's bytes, the
// client address, text made safe for the JVM, and collecting a message from
// pieces.
#include "login/login_messages.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "login/message_receiver.h"
#include "login/password.h"
#include "support/printable.h"

namespace {

using namespace secnative::login;
using secnative::test::quoted;
using Message = std::array<uint8_t, kGreetingSize>;

Message greeting_with(const std::string& info, const std::string& challenge,
                      std::array<uint8_t, 3> version) {
    Message g;
    g.fill(0xA5);  // bytes nobody interprets hold something other than zero
    std::memset(g.data(), 0, 60);
    std::memcpy(g.data(), info.data(), std::min<size_t>(info.size(), 60));
    std::memset(g.data() + 64, 0, 20);
    std::memcpy(g.data() + 64, challenge.data(), std::min<size_t>(challenge.size(), 20));
    std::memcpy(g.data() + 97, version.data(), 3);
    return g;
}

TEST(LoginGreeting, ServerInfoStopsAtZeroOrAfterSixtyBytes) {
    Greeting parsed;
    parse_greeting(greeting_with("Ardex server", "abcdefghijklmnopqrst", {4, 1, 0}).data(), parsed);
    EXPECT_STREQ(parsed.server_info, "Ardex server");

    const std::string full(60, 'x');
    Message g = greeting_with(full, "abcdefghijklmnopqrst", {4, 1, 0});
    g[60] = 'y';  // bytes 60..63 never belong to the text
    parse_greeting(g.data(), parsed);
    EXPECT_EQ(std::string(parsed.server_info), full);
}

TEST(LoginGreeting, VersionFromLastThreeBytesUnsigned) {
    struct Case {
        std::array<uint8_t, 3> bytes;
        const char* text;
    };
    const Case cases[] = {{{4, 1, 0}, "4.1.0"},
                          {{255, 255, 255}, "255.255.255"},
                          {{0, 0, 0}, "0.0.0"},
                          {{128, 10, 9}, "128.10.9"}};
    for (const Case& c : cases) {
        Greeting parsed;
        parse_greeting(greeting_with("", "abcdefghijklmnopqrst", c.bytes).data(), parsed);
        EXPECT_STREQ(parsed.server_version, c.text);
    }
}

// A zero at position k ends the challenge: the first k bytes count, the rest
// are zero whatever the greeting holds there.
TEST(LoginGreeting, ChallengeEndsAtFirstZeroByte) {
    for (size_t k = 0; k <= kChallengeSize; ++k) {
        Message g = greeting_with("", "ABCDEFGHIJKLMNOPQRST", {1, 2, 3});
        if (k < kChallengeSize) g[64 + k] = 0;
        Greeting parsed;
        parse_greeting(g.data(), parsed);
        for (size_t i = 0; i < kChallengeSize; ++i) {
            EXPECT_EQ(parsed.challenge[i], i < k ? 'A' + i : 0) << "k " << k << " i " << i;
        }
    }
}

TEST(LoginGreeting, ServerInfoIsMadeSafeForTheJvm) {
    // 59 ASCII bytes and the first byte of a two-byte character: the cut
    // leaves a lone lead byte.
    std::string cut(59, 'a');
    cut += "\xC3\xBC";
    Greeting parsed;
    parse_greeting(greeting_with(cut, "abcdefghijklmnopqrst", {1, 0, 0}).data(), parsed);
    EXPECT_EQ(std::string(parsed.server_info), std::string(59, 'a') + "?");
}

TEST(LoginText, ModifiedUtf8IsKeptAndEverythingElseBecomesQuestionMarks) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain ASCII ~", "plain ASCII ~"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},                                                     // two-byte sequences
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},                      // three bytes
        {"\xC0\x80", "\xC0\x80"},                                  // the JVM's encoded zero
        {"\xED\xA0\xBD\xED\xB8\x80", "\xED\xA0\xBD\xED\xB8\x80"},  // a surrogate pair
        {"a\x80"
         "b",
         "a?b"},             // stray continuation
        {"\xC3", "?"},       // lead byte at the end
        {"\xC3x", "?x"},     // lead without continuation
        {"\xE2\x82", "??"},  // three-byte sequence cut
        {"\xE2\x82x", "??x"},
        {"\xF0\x9F\x98\x80", "????"},  // four-byte form
        {"\xFF\xFE", "??"},
    };
    for (const Case& c : cases) {
        char text[32];
        std::strcpy(text, c.in);
        make_modified_utf8(text);
        EXPECT_STREQ(text, c.out) << c.in;
    }
}

struct RequestCase {
    const char* name;
    const char* user;      // null stands for a Java null
    const char* password;  // null stands for a Java null
    std::array<uint8_t, 16> expected_user;
    bool scrambled;
};

void PrintTo(const RequestCase& c, std::ostream* os) {
    *os << c.name << ": user " << quoted(c.user) << ", password " << quoted(c.password);
}

std::array<uint8_t, 16> user_field(const char* text) {
    std::array<uint8_t, 16> field{};
    std::memcpy(field.data(), text, std::min<size_t>(std::strlen(text), 16));
    return field;
}

class LoginRequest : public ::testing::TestWithParam<RequestCase> {};

// Every request: 'S', the user field, the scramble length and scramble, and
// zero in every byte that carries nothing.
TEST_P(LoginRequest, BytesAreWhereTheServerReadsThem) {
    const RequestCase& c = GetParam();
    const uint8_t challenge[kChallengeSize] = {'!', '"', '#', '$', '%', '&', '(', ')', '*', '+',
                                               ',', '-', '.', '/', '0', '1', '2', '3', '4', '5'};
    uint8_t request[kRequestSize];
    std::memset(request, 0x77, sizeof request);
    build_request(request, challenge, c.user, c.password, c.password ? std::strlen(c.password) : 0);

    EXPECT_EQ(request[0], 'S');
    for (size_t i = 1; i < 44; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;
    EXPECT_EQ(0, std::memcmp(request + 44, c.expected_user.data(), 16));
    EXPECT_EQ(request[60], 0);
    for (size_t i = 82; i < kRequestSize; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;

    if (!c.scrambled) {
        EXPECT_EQ(request[61], 0);
        for (size_t i = 62; i < 82; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;
        return;
    }
    EXPECT_EQ(request[61], 20);
    // The server's check: only the first 31 password bytes count.
    const std::string counted = std::string(c.password).substr(0, kPasswordLimit);
    char stored[SCRAMBLED_PASSWORD_BUFFER];
    make_scrambled_password(stored, counted.c_str());
    uint8_t stage2[SCRAMBLE_LENGTH];
    get_salt_from_password(stage2, stored);
    EXPECT_EQ(check_scramble(request + 62, challenge, stage2), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginRequest,
    ::testing::Values(
        RequestCase{"NullUserIsGuest", nullptr, "secret", user_field("guest"), true},
        RequestCase{"EmptyUserIsSixteenZeros", "", "secret", user_field(""), true},
        RequestCase{"ShortUser", "alice", "secret", user_field("alice"), true},
        RequestCase{"SixteenByteUserHasNoTerminator", "abcdefghijklmnop", "secret",
                    user_field("abcdefghijklmnop"), true},
        RequestCase{"LongerUserIsCut", "abcdefghijklmnopqrstuvwxyz", "secret",
                    user_field("abcdefghijklmnop"), true},
        RequestCase{"NullPasswordSendsNoScramble", "alice", nullptr, user_field("alice"), false},
        RequestCase{"EmptyPasswordSendsNoScramble", "alice", "", user_field("alice"), false},
        RequestCase{"ThirtyOneBytePassword", "bob", "0123456789012345678901234567890",
                    user_field("bob"), true},
        RequestCase{"LongerPasswordCountsFirstThirtyOne", "bob",
                    "0123456789012345678901234567890123456789", user_field("bob"), true}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(LoginRequest, LongPasswordScramblesLikeItsFirstThirtyOneBytes) {
    const uint8_t challenge[kChallengeSize] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j',
                                               'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't'};
    const auto request_for = [&](std::string_view password, uint8_t(&request)[kRequestSize]) {
        build_request(request, challenge, "u", password.data(), password.size());
    };
    uint8_t longer[kRequestSize], cut[kRequestSize], shorter[kRequestSize];
    request_for("0123456789012345678901234567890123", longer);
    request_for("0123456789012345678901234567890", cut);
    request_for("012345678901234567890123456789", shorter);
    EXPECT_EQ(0, std::memcmp(longer, cut, kRequestSize));
    EXPECT_NE(0, std::memcmp(cut, shorter, kRequestSize));

    // Only the given length counts, whatever follows it in memory.
    uint8_t prefix[kRequestSize];
    request_for(std::string_view("012345678901234567890123456789XYZ", 30), prefix);
    EXPECT_EQ(0, std::memcmp(prefix, shorter, kRequestSize));
}

TEST(LoginReply, ClientAddressFromBytesFourToSeven) {
    struct Case {
        std::array<uint8_t, 4> address;
        const char* text;
    };
    const Case cases[] = {{{10, 0, 0, 7}, "10.0.0.7"},
                          {{255, 255, 255, 255}, "255.255.255.255"},
                          {{0, 0, 0, 0}, "0.0.0.0"},
                          {{127, 0, 0, 1}, "127.0.0.1"}};
    for (const Case& c : cases) {
        uint8_t reply[kReplySize];
        std::memset(reply, 0xC9, sizeof reply);  // the other bytes may hold anything
        std::memcpy(reply + 4, c.address.data(), 4);
        char text[16];
        format_client_address(reply, text);
        EXPECT_STREQ(text, c.text);
    }
}

struct ReceiveCase {
    const char* name;
    size_t size;
    std::vector<long> reads;  // what successive reads return
    Receive expected;
    size_t reads_made;
};

void PrintTo(const ReceiveCase& c, std::ostream* os) {
    *os << c.name << ": " << c.size << " bytes from reads {";
    for (size_t i = 0; i < c.reads.size(); ++i) *os << (i ? ", " : "") << c.reads[i];
    *os << "}";
}

class LoginReceive : public ::testing::TestWithParam<ReceiveCase> {};

// A stream that delivers the bytes 0, 1, 2, ... in the pieces the case lists,
// each piece at the start of a 100-byte array.
TEST_P(LoginReceive, CollectsPiecesUntilTheMessageIsWhole) {
    const ReceiveCase& c = GetParam();
    constexpr size_t kArraySize = 100;
    uint8_t array[kArraySize] = {};
    uint8_t message[kGreetingSize];
    std::memset(message, 0xEE, sizeof message);
    size_t reads_made = 0;
    uint8_t next_byte = 0;
    auto read = [&]() -> long {
        if (reads_made == c.reads.size()) return -1;
        const long count = c.reads[reads_made++];
        for (long i = 0; i < count && i < static_cast<long>(kArraySize); ++i)
            array[i] = next_byte++;
        return count;
    };
    auto copy_out = [&](uint8_t* dst, size_t n) {
        ASSERT_LE(n, kArraySize);
        std::memcpy(dst, array, n);
    };

    EXPECT_EQ(receive_message(message, c.size, kArraySize, read, copy_out), c.expected);
    EXPECT_EQ(reads_made, c.reads_made);
    if (c.expected == Receive::complete || c.expected == Receive::overrun) {
        for (size_t i = 0; i < c.size; ++i) ASSERT_EQ(message[i], i) << "byte " << i;
    }
    for (size_t i = c.size; i < sizeof message; ++i) ASSERT_EQ(message[i], 0xEE) << "byte " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginReceive,
    ::testing::Values(ReceiveCase{"GreetingAtOnce", 100, {100}, Receive::complete, 1},
                      ReceiveCase{"GreetingInTwo", 100, {60, 40}, Receive::complete, 2},
                      ReceiveCase{"GreetingInFour", 100, {1, 49, 49, 1}, Receive::complete, 4},
                      ReceiveCase{"GreetingThenMore", 100, {60, 50}, Receive::overrun, 2},
                      ReceiveCase{"GreetingCutByEnd", 100, {60, -1}, Receive::ended, 2},
                      ReceiveCase{"NothingBeforeEnd", 100, {-1}, Receive::ended, 1},
                      ReceiveCase{"ZeroCountIsNoProgress", 100, {40, 0, 60}, Receive::ended, 2},
                      ReceiveCase{"CountBeyondTheArray", 100, {101}, Receive::ended, 1},
                      ReceiveCase{"ReplyAtOnce", 16, {16}, Receive::complete, 1},
                      ReceiveCase{"ReplyInThree", 16, {3, 5, 8}, Receive::complete, 3},
                      ReceiveCase{"LongerReplyAtOnce", 16, {20}, Receive::overrun, 1},
                      ReceiveCase{"LongerReplyInPieces", 16, {10, 10}, Receive::overrun, 2},
                      ReceiveCase{"ReplyCutByEnd", 16, {15, -1}, Receive::ended, 2},
                      ReceiveCase{"ErrorValue", 16, {-2}, Receive::ended, 1}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

}  // namespace
