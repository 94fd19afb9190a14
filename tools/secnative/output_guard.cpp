#include "output_guard.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "common/file_replacement.h"

namespace secnative::tool {

namespace {

// Every signal whose default action ends the process and that a program
// may catch; the last ones exist on some systems only.
constexpr int kFatalSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1,
    SIGSEGV,   SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

sigset_t fatal_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kFatalSignals) sigaddset(&set, s);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(&set, s);
#endif
    return set;
}

// The output the handler cleans up after.
std::atomic<const FileReplacement*> pending_output{nullptr};

extern "C" void remove_pending_and_die(int signal) {
    if (const FileReplacement* out = pending_output.load()) {
        if (const char* file = out->pendingFile()) unlink(file);
        if (const char* dir = out->pendingDirectory()) rmdir(dir);
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);  // delivered with its default action once the handler returns
}

void install_handlers() {
    const sigset_t set = fatal_signals();
    struct sigaction action = {};
    action.sa_handler = remove_pending_and_die;
    action.sa_flags = SA_RESTART;
    action.sa_mask = set;  // one cleanup at a time
    for (int s = 1; s < NSIG; ++s) {
        if (sigismember(&set, s) != 1) continue;
        struct sigaction old;
        if (sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

}  // namespace

void guard_output(const FileReplacement* pending) {
    static const bool installed = (install_handlers(), true);
    (void)installed;
    pending_output.store(pending);
}

}  // namespace secnative::tool
