// Where a command takes its password from: a file, an environment variable
// named on the command line, or a prompt on the terminal without echo. The
// password itself never appears among the arguments.
//
// Only the first kPasswordLimit bytes of a password's modified UTF-8 form
// count (see modified_utf8.h), so no more than those bytes ever come into
// memory, in fixed buffers that are wiped on every way out.
#ifndef SECNATIVE_TOOLS_PASSWORD_SOURCE_H
#define SECNATIVE_TOOLS_PASSWORD_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/secret_buffer.h"
#include "common/secret_limits.h"

namespace CLI {
class App;
}

namespace secnative::tool {

// What is read of a password at most: enough bytes to finish a character
// that the limit cuts (up to 3 more), then a line end (CR LF).
constexpr size_t kPasswordReadLimit = kPasswordLimit + 3 + 2;

// For the help of the commands that take a password.
constexpr const char kPasswordHelp[] =
    "Only the first 31 bytes of a password count, as the Java side counts them: its bytes\n"
    "are taken as UTF-8 and counted in Java's modified UTF-8, where a character beyond\n"
    "U+FFFF takes 6 bytes and a NUL byte (U+0000) 2; bytes that are not UTF-8 count as\n"
    "they are. An empty password is refused unless --empty-password is given.";

// The bytes of a password that count: at most the first kPasswordLimit bytes
// of its modified UTF-8 form, zero-terminated (the form holds no zero byte),
// in a buffer that is wiped when it goes.
class Secret {
  public:
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    // Takes the password from its bytes as read (UTF-8 or not).
    void assign(const char* raw, size_t size);

    const char* c_str() const { return bytes_.data(); }
    const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(bytes_.data()); }
    size_t size() const { return size_; }
    // The password was longer than what counts.
    bool cut() const { return cut_; }

  private:
    SecretBuffer<char, kPasswordLimit + 1> bytes_;
    size_t size_ = 0;
    bool cut_ = false;
};

struct PasswordSource {
    std::string file;      // read the first line of this file ("-": standard input)
    std::string variable;  // read this environment variable
    bool allow_empty = false;
    // Adds --password-file, --password-env and --empty-password to a
    // subcommand.
    void add_options(CLI::App& command);
    // Reads the password into secret; prompts on the terminal when neither
    // option was given, twice when confirm is set. input_follows: the command
    // reads standard input after the password. Throws Failure.
    void read(bool confirm, Secret& secret, bool input_follows = false) const;
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_PASSWORD_SOURCE_H
