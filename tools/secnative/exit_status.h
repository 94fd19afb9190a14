// Exit statuses of the secnative tool, and the exception that carries one out
// of a subcommand together with its message.
#ifndef SECNATIVE_TOOLS_EXIT_STATUS_H
#define SECNATIVE_TOOLS_EXIT_STATUS_H

#include <stdexcept>
#include <string>

namespace secnative::tool {

enum ExitStatus : int {
    kExitOk = 0,
    kExitRejected = 1,  // the input is bad: a failed padding check, a damaged stream, an
                        // XML or Base64 error, a password that does not match
    kExitUsage = 2,     // the command line is wrong
    kExitSystem = 3,    // a file could not be read or written, or no password was at hand
};

constexpr const char kExitStatusHelp[] =
    "Exit status: 0 success; 1 the input was rejected (a failed padding check, a damaged\n"
    "stream, an XML or Base64 error, a password that does not match); 2 wrong usage;\n"
    "3 a file could not be read or written, or no password could be read.";

// Ends the run: main prints "secnative: <message>" on standard error (unless
// the message is empty) and exits with the status.
class Failure : public std::runtime_error {
  public:
    Failure(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

  private:
    ExitStatus status_;
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_EXIT_STATUS_H
