// Running a piece of a test as another user, in a child process: for the
// tests of what other local users can and cannot do to a file. Needs root;
// the callers skip otherwise.
#ifndef SECNATIVE_TESTS_SUPPORT_OTHER_USER_H
#define SECNATIVE_TESTS_SUPPORT_OTHER_USER_H

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace sntest {

// The user and group of nobody on Debian.
constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;

// Forks, takes on uid and gid (and the supplementary groups), runs body and
// exits with what it returns. Returns the child's process id, or -1.
template <typename Body>
pid_t startAsUser(uid_t uid, gid_t gid, const std::vector<gid_t>& groups, Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        _exit(120);
    }
    _exit(body());
}

// The exit status of the child, or -1 when it did not exit normally.
inline int waitForChild(pid_t child) {
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace sntest

#endif  // SECNATIVE_TESTS_SUPPORT_OTHER_USER_H
