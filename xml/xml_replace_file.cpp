// Replacing a file through a temporary file in its directory, so that a
// failed write (a full disk, a file size limit) never destroys the old file.
#include "xml/xml_replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "xml/xml_model.h"

namespace secnative::xml {
namespace {

// Symbolic links followed before giving up; fopen then reports the loop.
constexpr int kMaxLinkHops = 40;
// Names tried for a temporary file before the directory is taken as full.
constexpr int kTempNameAttempts = 100;
// Longest link target read.
constexpr size_t kMaxLinkLength = 1 << 20;

#ifdef O_CLOEXEC
constexpr int kTempOpenFlags = O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC;
#else
constexpr int kTempOpenFlags = O_CREAT | O_EXCL | O_WRONLY;
#endif

// A malloc block holding a NUL-terminated string, freed with its owner.
class OwnedText {
  public:
    explicit OwnedText(char* text = NULL) : text_(text) {}
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    ~OwnedText() { std::free(text_); }

    void reset(char* text) {
        std::free(text_);
        text_ = text;
    }
    const char* get() const { return text_; }

  private:
    char* text_;
};

// The first n bytes of head followed by tail, in a new block.
char* concat(const char* head, size_t n, const char* tail) {
    size_t tailLength = std::strlen(tail);
    char* joined = static_cast<char*>(allocate(n + tailLength + 1));
    std::memcpy(joined, head, n);
    std::memcpy(joined + n, tail, tailLength + 1);
    return joined;
}

// Length of the directory part of path, up to and including its last
// slash; 0 for a name in the current directory.
size_t directoryLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? static_cast<size_t>(slash - path) + 1 : 0;
}

// The target of the symbolic link at path in a new block, or NULL. The size
// that lstat reports is only a hint: some file systems report 0.
char* readLinkTarget(const char* path, size_t sizeHint) {
    for (size_t size = sizeHint < 63 ? 64 : sizeHint + 1; size <= kMaxLinkLength; size *= 2) {
        char* target = static_cast<char*>(allocate(size));
        ssize_t n = readlink(path, target, size);
        if (n >= 0 && static_cast<size_t>(n) < size) {
            target[n] = 0;
            return target;
        }
        std::free(target);
        if (n < 0) return NULL;
    }
    return NULL;
}

// path with its chain of symbolic links followed, in a new block; a
// relative target is taken from the link's directory. Stops at the first
// name that is not a link (whether it exists or not) or cannot be read.
char* followLinks(const char* path) {
    char* current = copyString(path);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(current, &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char* target = readLinkTarget(current, static_cast<size_t>(st.st_size));
        if (!target) break;
        if (target[0] != '/') {
            char* joined = concat(current, directoryLength(current), target);
            std::free(target);
            target = joined;
        }
        std::free(current);
        current = target;
    }
    return current;
}

// A name suffix that differs between processes, calls and attempts.
unsigned long tempSuffix() {
    static std::atomic<unsigned long> counter(0);
    unsigned long x = static_cast<unsigned long>(std::time(NULL));
    x = x * 2654435761UL + static_cast<unsigned long>(std::clock());
    x = x * 2654435761UL + counter.fetch_add(1);
    x ^= static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&x) >> 4);
    return (x ^ (x >> 15)) & 0xFFFFFFFFUL;
}

// Creates a new empty file under a fresh name in the directory of target,
// with mode 0666 less the umask. Returns its descriptor and its name, or -1
// with errno set.
int createTempFile(const char* target, OwnedText* name) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".xmlwrite.%ld.%08lx.tmp", static_cast<long>(getpid()),
                      tempSuffix());
        name->reset(concat(target, directoryLength(target), suffix));
        int fd = open(name->get(), kTempOpenFlags, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool isPermissionRefusal(int error) {
    return error == EPERM || error == EINVAL;  // EINVAL: an id unknown here
}

// Gives the file at fd the owner, group and permission bits of old. Owner
// and group are kept where the process may set them (the group alone when
// only that is allowed); the mode comes last, as a change of owner may
// clear the set-id bits.
bool copyOwnerAndMode(int fd, const struct stat& old) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (!isPermissionRefusal(errno)) return false;
        if (fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && !isPermissionRefusal(errno)) {
            return false;
        }
    }
    return fchmod(fd, old.st_mode & 07777) == 0;
}

// Whether the existing regular file at path may be opened for writing, as
// fopen would have to; opening it without O_TRUNC leaves it unchanged. A
// file the process may not write is not replaced behind its back.
bool mayWrite(const char* path) {
    int fd = open(path, O_WRONLY | O_NOCTTY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// Whether the process may rename another file over the existing file old
// at path: in a directory with the sticky bit (such as /tmp) only the file's
// owner may, so a file of someone else's is written in place there.
bool mayRenameOver(const char* path, const struct stat& old) {
    if (old.st_uid == geteuid()) return true;
    OwnedText directory(concat(path, directoryLength(path), "."));
    struct stat st;
    return stat(directory.get(), &st) == 0 && !(st.st_mode & S_ISVTX);
}

// Flushes the stream's data to the disk. A file system that cannot sync
// (EINVAL) is no reason to refuse the file.
bool flushToDisk(FILE* f) {
    if (std::fflush(f) != 0) return false;
    return fsync(fileno(f)) == 0 || errno == EINVAL;
}

// Writes the content into the file at fd, flushes it to the disk and
// closes it; fd is closed in every case.
bool fillAndClose(int fd, ContentWriter write, const void* content) {
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        return false;
    }
    bool written = write(f, content) && flushToDisk(f);
    return std::fclose(f) == 0 && written;
}

enum TempOutcome { tempReplaced, tempFailed, tempUnavailable };

// Writes a temporary file beside target and renames it over target; old
// is target's status, or NULL when there is no such file. Nothing is left
// behind on failure.
TempOutcome replaceThroughTemp(const char* target, const struct stat* old, ContentWriter write,
                               const void* content) {
    OwnedText tempName;
    int fd = createTempFile(target, &tempName);
    if (fd < 0) return tempUnavailable;
    bool done;
    if (old && !copyOwnerAndMode(fd, *old)) {
        close(fd);
        done = false;
    } else {
        done = fillAndClose(fd, write, content) && std::rename(tempName.get(), target) == 0;
    }
    if (done) return tempReplaced;
    unlink(tempName.get());
    return tempFailed;
}

ReplaceResult writeInPlace(const char* path, ContentWriter write, const void* content) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return replaceCannotOpen;
    bool written = write(f, content);
    if (std::fclose(f) != 0) written = false;
    return written ? replaceWritten : replaceCannotWrite;
}

}  // namespace

ReplaceResult writeFileReplacing(const char* path, ContentWriter write, const void* content) {
    if (!path) return replaceCannotOpen;
    OwnedText target(followLinks(path));
    struct stat old;
    bool exists = lstat(target.get(), &old) == 0;
    bool replaceable = exists ? S_ISREG(old.st_mode) && old.st_nlink == 1 &&
                                    mayWrite(target.get()) && mayRenameOver(target.get(), old)
                              : errno == ENOENT;
    if (replaceable && path[0]) {
        switch (replaceThroughTemp(target.get(), exists ? &old : NULL, write, content)) {
            case tempReplaced:
                return replaceWritten;
            case tempFailed:
                return replaceCannotWrite;
            case tempUnavailable:
                break;
        }
    }
    return writeInPlace(path, write, content);
}

}  // namespace secnative::xml
