// Symbolic links followed by hand, so that the file they lead to can be
// replaced by a rename while the links stay.
#include "common/follow_links.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <vector>

namespace secnative {
namespace {

// Links followed before giving up, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Longest link target read.
constexpr size_t kMaxLinkLength = size_t{1} << 20;

// Whether a process may follow the link described by link, found in the
// directory dir: in a sticky world-writable directory only links of its
// own or of the directory's owner.
bool mayFollow(const std::string& dir, const struct stat& link) {
    struct stat st;
    if (stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return true;  // the open will tell
    const bool shared = (st.st_mode & S_ISVTX) && (st.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == st.st_uid;
}

// The target of the link at path. The size lstat reports is only a hint:
// some file systems report 0.
bool readLinkTarget(const std::string& path, size_t sizeHint, std::string& target) {
    for (size_t size = sizeHint < 63 ? 64 : sizeHint + 1; size <= kMaxLinkLength; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = readlink(path.c_str(), buffer.data(), size);
        if (n < 0) return false;
        if (static_cast<size_t>(n) < size) {
            target.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
    }
    errno = ENAMETOOLONG;
    return false;
}

bool namesDescriptor(const std::string& dir) {
    return dir.compare(0, 6, "/proc/") == 0 || dir.compare(0, 8, "/dev/fd/") == 0;
}

}  // namespace

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool followLinks(const std::string& path, std::string& target, bool* descriptor) {
    target = path;
    if (descriptor) *descriptor = false;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        if (hop == kMaxLinkHops) break;
        const std::string dir = directoryOf(target);
        if (descriptor && namesDescriptor(dir)) *descriptor = true;
        if (!mayFollow(dir, st)) {
            errno = EACCES;
            return false;
        }
        std::string next;
        if (!readLinkTarget(target, static_cast<size_t>(st.st_size), next)) return false;
        target = !next.empty() && next[0] == '/' ? next : dir + next;
    }
    errno = ELOOP;
    return false;
}

}  // namespace secnative
