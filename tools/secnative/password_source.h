// Where a command takes its password from: a file, an environment variable
// named on the command line, or a prompt on the terminal without echo. The
// password itself never appears among the arguments.
#ifndef SECNATIVE_TOOLS_PASSWORD_SOURCE_H
#define SECNATIVE_TOOLS_PASSWORD_SOURCE_H

#include <string>

namespace CLI {
class App;
}

namespace secnative::tool {

// A password held in memory that is wiped when it goes.
class Secret {
  public:
    Secret() = default;
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;

    std::string& text() { return text_; }
    const std::string& text() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    size_t size() const { return text_.size(); }

  private:
    void wipe();
    std::string text_;
};

struct PasswordSource {
    std::string file;      // read the first line of this file ("-": standard input)
    std::string variable;  // read this environment variable
    // Adds --password-file and --password-env to a subcommand.
    void add_options(CLI::App& command);
    // Reads the password; prompts on the terminal when neither option was
    // given, twice when confirm is set. Throws Failure.
    Secret read(bool confirm) const;
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_PASSWORD_SOURCE_H
