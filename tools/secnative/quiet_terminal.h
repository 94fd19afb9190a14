// Echo off on the terminal while a password is typed, and the terminal's
// settings back however the prompt ends: at the end of the scope, or when a
// signal ends or stops the process meanwhile.
#ifndef SECNATIVE_TOOLS_QUIET_TERMINAL_H
#define SECNATIVE_TOOLS_QUIET_TERMINAL_H

#include <signal.h>

namespace secnative::tool {

// For the scope, turns echo off on the terminal fd (when it is one) and
// catches SIGINT, SIGTERM, SIGHUP and SIGQUIT, which restore the terminal and
// then end the process by the same signal with its default action, and
// SIGTSTP, which restores the terminal before the process stops; SIGCONT
// turns echo off again when the process is in the foreground. A signal that
// was ignored stays ignored. The end of the scope restores the terminal and
// every signal's previous disposition. One at a time per process.
class QuietTerminal {
  public:
    explicit QuietTerminal(int fd);
    ~QuietTerminal();
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

    static constexpr int kSignalCount = 6;

  private:
    bool quiet_ = false;
    bool caught_[kSignalCount] = {};
    struct sigaction previous_[kSignalCount];
};

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_QUIET_TERMINAL_H
