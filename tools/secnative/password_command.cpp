// password hash and password verify: the stored form of a password that the
// login server keeps, and the check a server makes against it.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "common/secret_buffer.h"
#include "common/secret_limits.h"
#include "exit_status.h"
#include "login/password.h"
#include "password_source.h"

namespace secnative::tool {

namespace {

struct PasswordOptions {
    PasswordSource password;
    std::string stored;
};

// The login scrambles only the bytes of a password that count, so the stored
// form is made from the same bytes; a longer password comes with a note.
void note_cut(const Secret& password) {
    if (!password.cut()) return;
    std::fprintf(stderr, "secnative: note: only the first %zu bytes of the password count\n",
                 kPasswordLimit);
}

void run_hash(const PasswordOptions& o) {
    Secret password;
    o.password.read(true, password);
    note_cut(password);
    char stored[SCRAMBLED_PASSWORD_BUFFER];
    make_scrambled_password(stored, password.c_str());
    std::printf("%s\n", stored);
    if (std::fflush(stdout) != 0) throw Failure(kExitSystem, "cannot write standard output");
}

bool is_stored_form(const std::string& text) {
    if (text.size() != SCRAMBLED_PASSWORD_LENGTH || text[0] != '*') return false;
    for (size_t i = 1; i < text.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// Answers a challenge with the password and checks the answer against the
// stored form, as the server does at login.
void run_verify(const PasswordOptions& o) {
    if (!is_stored_form(o.stored)) {
        throw Failure(kExitUsage, "a stored form is '*' and 40 hexadecimal digits");
    }
    Secret password;
    o.password.read(false, password);
    note_cut(password);
    uint8_t stage2[SCRAMBLE_LENGTH];
    get_salt_from_password(stage2, o.stored.c_str());
    const uint8_t challenge[SCRAMBLE_LENGTH] = {};
    // The reply to a known challenge gives away stage 1, which logs in as
    // well as the password does.
    SecretBuffer<uint8_t, SCRAMBLE_LENGTH> reply;
    scramble(reply.data(), challenge, password.c_str());
    if (check_scramble(reply.data(), challenge, stage2) != 0) {
        throw Failure(kExitRejected, "the password does not match");
    }
}

}  // namespace

void add_password_commands(CLI::App& app) {
    auto o = std::make_shared<PasswordOptions>();
    CLI::App* password =
        app.add_subcommand("password", "Make and check the stored form of a login password");
    password->require_subcommand(1);

    CLI::App* hash = password->add_subcommand(
        "hash", "Print the stored form of a password ('*' and 40 hexadecimal digits)");
    o->password.add_options(*hash);
    hash->footer(std::string(kPasswordHelp) + "\n" + kExitStatusHelp);
    hash->callback([o] { run_hash(*o); });

    CLI::App* verify = password->add_subcommand(
        "verify", "Check a password against a stored form; status 1 when it does not match");
    verify->add_option("stored", o->stored, "The stored form")->required();
    o->password.add_options(*verify);
    verify->footer(std::string(kPasswordHelp) + "\n" + kExitStatusHelp);
    verify->callback([o] { run_verify(*o); });
}

}  // namespace secnative::tool
