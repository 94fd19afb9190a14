// Symbolic links followed by hand, so that the file they lead to can be
// replaced by a rename while the links stay.
#include "common/follow_links.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace secnative {
namespace {

// Links followed before giving up, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Longest link target read.
constexpr size_t kMaxLinkLength = size_t{1} << 20;

// Whether a process may follow the link described by link, found in the
// directory dir: in a sticky world-writable directory only links of its
// own or of the directory's owner.
bool mayFollow(const char* dir, const struct stat& link) {
    struct stat st;
    if (stat(dir, &st) != 0) return true;  // the open will tell
    const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == st.st_uid;
}

// The target of the link at path, joined to the directory part of path
// (dirLength bytes) when it is relative. The size lstat reports is only a
// hint: some file systems report 0.
bool readLinkTarget(const PathText& path, size_t dirLength, size_t sizeHint, PathText& target) {
    for (size_t size = sizeHint < 63 ? 64 : sizeHint + 1; size <= kMaxLinkLength; size *= 2) {
        char* buffer = static_cast<char*>(std::malloc(size));
        if (!buffer) {
            errno = ENOMEM;
            return false;
        }
        const ssize_t n = readlink(path.c_str(), buffer, size);
        bool done = n < 0;
        bool joined = false;
        if (n >= 0 && static_cast<size_t>(n) < size) {
            buffer[n] = 0;
            done = true;
            joined = buffer[0] == '/' ? target.assign(buffer)
                                      : target.assign(path.c_str(), dirLength, buffer);
        }
        const int error = errno;
        std::free(buffer);
        errno = error;
        if (done) return joined;
    }
    errno = ENAMETOOLONG;
    return false;
}

bool namesDescriptor(const char* path) {
    return std::strncmp(path, "/proc/", 6) == 0 || std::strncmp(path, "/dev/fd/", 8) == 0;
}

}  // namespace

bool followLinks(const char* path, PathText& target, bool* descriptor) {
    if (!target.assign(path)) return false;
    if (descriptor) *descriptor = false;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        if (hop == kMaxLinkHops) break;
        PathText dir;
        if (!directoryOf(target.c_str(), dir)) return false;
        if (descriptor && namesDescriptor(target.c_str())) *descriptor = true;
        if (!mayFollow(dir.c_str(), st)) {
            errno = EACCES;
            return false;
        }
        PathText next;
        const size_t dirLength = directoryLength(target.c_str());
        if (!readLinkTarget(target, dirLength, static_cast<size_t>(st.st_size), next)) return false;
        target.swap(next);
    }
    errno = ELOOP;
    return false;
}

}  // namespace secnative
