#include "quiet_terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace secnative::tool {

namespace {

// The signals caught at the prompt; the first four end the process.
constexpr int kPromptSignals[QuietTerminal::kSignalCount] = {SIGINT,  SIGTERM, SIGHUP,
                                                             SIGQUIT, SIGTSTP, SIGCONT};

// What the handlers work with, set before they are installed. One prompt at
// a time uses them.
int g_prompt_tty = -1;
struct termios g_prompt_saved;  // the terminal's settings before the prompt
struct termios g_prompt_quiet;  // the same with echo off
volatile sig_atomic_t g_prompt_is_quiet = 0;

bool in_foreground() {
    return tcgetpgrp(g_prompt_tty) == getpgrp();
}

// Async-signal-safe, as everything the handlers call.
void restore_settings() {
    if (g_prompt_is_quiet == 0) return;
    tcsetattr(g_prompt_tty, TCSAFLUSH, &g_prompt_saved);
    g_prompt_is_quiet = 0;
}

// Turns echo off, unless the process runs in the background: changing the
// terminal from there would stop it, and would silence the shell's echo.
void apply_quiet() {
    if (g_prompt_is_quiet != 0 || !in_foreground()) return;
    if (tcsetattr(g_prompt_tty, TCSAFLUSH, &g_prompt_quiet) == 0) g_prompt_is_quiet = 1;
}

void set_disposition(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int s : kPromptSignals) sigaddset(&action.sa_mask, s);  // no handler interrupts another
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

// Delivers signal now with its default action: it is blocked while its
// handler runs, so it is let through first.
void raise_with_default_action(int signal) {
    set_disposition(signal, SIG_DFL);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    sigprocmask(SIG_UNBLOCK, &just, nullptr);
    raise(signal);
}

extern "C" void prompt_ended_by_signal(int signal) {
    restore_settings();
    raise_with_default_action(signal);  // does not return
}

extern "C" void prompt_stopped(int signal) {
    const int saved_errno = errno;
    restore_settings();
    raise_with_default_action(signal);  // returns once the process is continued
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    sigprocmask(SIG_BLOCK, &just, nullptr);
    set_disposition(signal, prompt_stopped);
    apply_quiet();
    errno = saved_errno;
}

extern "C" void prompt_continued(int) {
    const int saved_errno = errno;
    apply_quiet();
    errno = saved_errno;
}

void (*handler_for(int signal))(int) {
    if (signal == SIGTSTP) return prompt_stopped;
    if (signal == SIGCONT) return prompt_continued;
    return prompt_ended_by_signal;
}

sigset_t prompt_signal_set() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kPromptSignals) sigaddset(&set, s);
    return set;
}

}  // namespace

QuietTerminal::QuietTerminal(int fd) {
    struct termios settings;
    if (tcgetattr(fd, &settings) != 0) return;  // not a terminal: nothing to hide or restore
    quiet_ = true;
    const sigset_t set = prompt_signal_set();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &set, &before);
    g_prompt_tty = fd;
    g_prompt_saved = settings;
    g_prompt_quiet = settings;
    g_prompt_quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_prompt_quiet.c_lflag |= ECHONL;  // the line end still shows
    g_prompt_is_quiet = 0;
    for (int i = 0; i < kSignalCount; ++i) {
        const int s = kPromptSignals[i];
        if (sigaction(s, nullptr, &previous_[i]) != 0) continue;
        if (s != SIGCONT && previous_[i].sa_handler == SIG_IGN) continue;
        set_disposition(s, handler_for(s));
        caught_[i] = true;
    }
    // Unlike the handlers, the prompt itself changes the terminal even from
    // the background: that stops the process until it is in the foreground,
    // as for any program that reads the terminal.
    if (tcsetattr(fd, TCSAFLUSH, &g_prompt_quiet) == 0) g_prompt_is_quiet = 1;
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

QuietTerminal::~QuietTerminal() {
    if (!quiet_) return;
    const sigset_t set = prompt_signal_set();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &set, &before);
    restore_settings();
    for (int i = 0; i < kSignalCount; ++i) {
        if (caught_[i]) sigaction(kPromptSignals[i], &previous_[i], nullptr);
    }
    g_prompt_tty = -1;
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace secnative::tool
