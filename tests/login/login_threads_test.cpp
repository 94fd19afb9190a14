// The login exchange on several threads at once: reading the greeting,
// building the request and the stored password form share nothing between
// calls, so every thread gets the bytes a single thread gets (the hashing
// picks its code path once per process, on whichever thread comes first).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <thread>
#include <vector>

#include "login/login_messages.h"
#include "login/password.h"

namespace {

using namespace secnative::login;

struct Exchange {
    std::string info;       // the greeting's server text
    std::string challenge;  // up to 20 bytes
    const char* user;       // null: the default user
    std::string password;
};

const Exchange kExchanges[] = {
    {"Ardex server 4.1", "abcdefghijklmnopqrst", "alice", "s3cret"},
    {"caf\xC3\xA9 \xFF bad", "01234567890123456789", nullptr, "p"},
    {std::string(70, 'i'), "short", "a-user-name-longer-than-sixteen", std::string(40, 'x')},
    {"", "ZZZZZZZZZZZZZZZZZZZZ", "bob", ""},
};

// Everything one exchange produces.
struct Outcome {
    std::string info;
    std::string version;
    std::array<uint8_t, kRequestSize> request{};
    std::string stored;  // the password's stored form
    int check = -1;      // check_scramble of the request's reply against it

    bool operator==(const Outcome& o) const {
        return info == o.info && version == o.version && request == o.request &&
               stored == o.stored && check == o.check;
    }
};

Outcome run(const Exchange& e, int seed) {
    uint8_t greeting[kGreetingSize] = {};
    std::copy_n(e.info.begin(), std::min<size_t>(e.info.size(), 60), greeting);
    std::copy_n(e.challenge.begin(), std::min<size_t>(e.challenge.size(), 20), greeting + 64);
    greeting[97] = static_cast<uint8_t>(seed);
    greeting[98] = 2;
    greeting[99] = 3;
    Greeting parsed;
    parse_greeting(greeting, parsed);

    Outcome out;
    out.info = parsed.server_info;
    out.version = parsed.server_version;
    build_request(out.request.data(), parsed.challenge, e.user, e.password.data(),
                  e.password.size());
    char stored[SCRAMBLED_PASSWORD_BUFFER];
    // The stored form is made from the bytes the request scrambles.
    const std::string sent = e.password.substr(0, kPasswordLimit);
    make_scrambled_password(stored, sent.c_str());
    out.stored = stored;
    uint8_t stage2[SCRAMBLE_LENGTH];
    get_salt_from_password(stage2, stored);
    if (!e.password.empty()) out.check = check_scramble(&out.request[62], parsed.challenge, stage2);
    return out;
}

TEST(LoginThreads, EveryThreadGetsTheSingleThreadBytes) {
    constexpr size_t kCount = sizeof kExchanges / sizeof kExchanges[0];
    constexpr int kThreads = 4;
    constexpr int kRounds = 100;
    // Each thread runs every exchange in turn, from a different one, under
    // its own version number.
    std::vector<std::vector<Outcome>> got(kThreads);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&got, t] {
            for (int round = 0; round < kRounds; ++round) {
                got[t].push_back(run(kExchanges[static_cast<size_t>(round + t) % kCount], t));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int t = 0; t < kThreads; ++t) {
        for (size_t i = 0; i < kCount; ++i) {
            SCOPED_TRACE("thread " + std::to_string(t) + ", exchange " + std::to_string(i));
            const Outcome expected = run(kExchanges[i], t);
            EXPECT_EQ(expected.check, kExchanges[i].password.empty() ? -1 : 0);
            int mismatches = 0;
            for (int round = 0; round < kRounds; ++round) {
                if (static_cast<size_t>(round + t) % kCount == i && !(got[t][round] == expected)) {
                    ++mismatches;
                }
            }
            EXPECT_EQ(mismatches, 0);
        }
    }
}

}  // namespace
