// Replacing a file through a new file in a private directory beside it.
#include "common/file_replacement.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/follow_links.h"

namespace secnative {
namespace {

// Name of the private directory (a unique suffix follows) and of the file
// in it. Both are short, so any target name works.
constexpr char kPrivateDirPrefix[] = ".secnative.";
constexpr char kNewFileName[] = "/new";
// Names tried for a private directory before the directory is taken as
// unusable.
constexpr int kNameAttempts = 100;

// Six letters or digits that differ between processes, calls and attempts.
// mkdir fails on any existing name, so they need only make a clash rare.
void uniqueSuffix(char (&suffix)[7]) {
    static std::atomic<unsigned long> counter(0);
    uint64_t x = static_cast<uint64_t>(std::time(nullptr));
    x = x * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(std::clock());
    x = x * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(getpid());
    x = x * 0x9E3779B97F4A7C15ULL + counter.fetch_add(1);
    x ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&x));
    x ^= x >> 29;
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int i = 0; i < 6; ++i) {
        suffix[i] = kDigits[x % 62];
        x /= 62;
    }
    suffix[6] = 0;
}

bool isFull(int error) {
    return error == ENOSPC || error == EDQUOT;
}

// Whether the existing regular file at path may be opened for writing, as
// a plain open would have to; without O_TRUNC it stays unchanged. A file
// the process may not write is not replaced behind its back.
bool mayWrite(const char* path) {
    const int fd = ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Whether another file may be renamed over old at path: in a directory with
// the sticky bit, a file of someone else's is left where it is and written
// in place.
bool mayRenameOver(const char* path, const struct stat& old) {
    if (old.st_uid == geteuid()) return true;
    PathText dir;
    struct stat st;
    if (!directoryOf(path, dir) || stat(dir.c_str(), &st) != 0) return false;
    return !(st.st_mode & S_ISVTX);
}

// Gives the new file at fd the owner, group and permission bits of old,
// before anything is written into it. The mode comes last, as a change of
// owner may clear the set-id bits.
bool takeOverOwnerAndMode(int fd, const struct stat& old) {
    struct stat now;
    if (fstat(fd, &now) != 0) return false;
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        fchown(fd, old.st_uid, old.st_gid) != 0) {
        return false;
    }
    return fchmod(fd, old.st_mode & 07777) == 0;
}

// Flushes the data of fd to the disk; a file that cannot be synced (a
// pipe, a device, some file systems) is no reason to fail.
bool syncData(int fd) {
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

// Flushes the directory that holds the entry of path, so that a rename in
// it survives a crash. Systems that cannot open or sync a directory are
// taken at their word.
bool syncDirectoryOf(const char* path) {
    PathText dir;
    if (!directoryOf(path, dir)) return false;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return true;
    const bool synced =
        fsync(fd) == 0 || errno == EINVAL || errno == EBADF || errno == EROFS || errno == ENOTSUP;
    ::close(fd);
    return synced;
}

}  // namespace

FileReplacement::Status FileReplacement::open(const char* path) {
    discard();
    if (!path || !path[0]) {
        errno = ENOENT;
        return cannotOpen;
    }
    bool openDescriptor = false;
    if (!followLinks(path, target_, &openDescriptor)) return cannotOpen;
    struct stat old;
    const bool exists = lstat(target_.c_str(), &old) == 0;
    const bool missing = !exists && errno == ENOENT;
    // The links' own chain has to end where the kernel's does: where it
    // does not (an open descriptor's name, a link changed meanwhile), the
    // kernel's file is written in place.
    struct stat seen;
    const bool kernelExists = stat(path, &seen) == 0;
    const bool sameFile =
        exists ? kernelExists && seen.st_dev == old.st_dev && seen.st_ino == old.st_ino
               : missing && !kernelExists && errno == ENOENT;
    const bool replaceable =
        !openDescriptor && sameFile &&
        (missing || (S_ISREG(old.st_mode) && old.st_nlink == 1 && mayWrite(target_.c_str()) &&
                     mayRenameOver(target_.c_str(), old)));
    if (replaceable) {
        switch (openBeside(exists, &old)) {
            case attemptDone:
                return ok;
            case attemptFailed:
                return cannotWrite;
            case attemptInPlace:
                break;
        }
    }
    return openInPlace(path);
}

FileReplacement::Attempt FileReplacement::openBeside(bool exists, const void* oldStatus) {
    for (int attempt = 0;; ++attempt) {
        // The names are published before they exist, so that a signal
        // handler never misses what is about to be made.
        char suffix[7];
        uniqueSuffix(suffix);
        PathText prefix;
        if (!prefix.assign(target_.c_str(), directoryLength(target_.c_str()), kPrivateDirPrefix) ||
            !privateDir_.assign(prefix.c_str(), prefix.size(), suffix) ||
            !newFile_.assign(privateDir_.c_str(), privateDir_.size(), kNewFileName)) {
            forgetPending();
            return attemptFailed;
        }
        pendingDir_.store(privateDir_.c_str());
        pendingFile_.store(newFile_.c_str());
        if (mkdir(privateDir_.c_str(), 0700) == 0) break;
        const int error = errno;
        forgetPending();
        errno = error;
        if (error != EEXIST || attempt + 1 == kNameAttempts) {
            return isFull(error) ? attemptFailed : attemptInPlace;
        }
    }
    // A new file is made without group or other bits when it takes over an
    // existing file's mode; otherwise as open would make it, which the
    // private directory keeps out of reach until it is complete.
    const mode_t mode = exists ? 0600 : 0666;
    fd_ = ::open(newFile_.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOCTTY | O_CLOEXEC, mode);
    const struct stat* old = static_cast<const struct stat*>(oldStatus);
    if (fd_ < 0 || (exists && !takeOverOwnerAndMode(fd_, *old))) {
        // A full disk is a failure; a refusal (the owner cannot be kept,
        // the directory cannot be entered) leaves writing in place.
        const int error = errno;
        removePending();
        errno = error;
        return isFull(error) ? attemptFailed : attemptInPlace;
    }
    return attemptDone;
}

FileReplacement::Status FileReplacement::openInPlace(const char* path) {
    target_.clear();
    fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
    return fd_ >= 0 ? ok : cannotOpen;
}

bool FileReplacement::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (fd_ < 0) {
            errno = EBADF;
            return false;
        }
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

FileReplacement::Status FileReplacement::commit() {
    if (fd_ < 0) {
        errno = EBADF;
        return cannotWrite;
    }
    if (inPlace()) {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? ok : cannotWrite;
    }
    bool done = syncData(fd_);
    int error = errno;
    if (::close(fd_) != 0 && done) {
        done = false;
        error = errno;
    }
    fd_ = -1;
    if (done && ::rename(newFile_.c_str(), target_.c_str()) != 0) {
        done = false;
        error = errno;
    }
    if (!done) {
        removePending();
        errno = error;
        return cannotWrite;
    }
    pendingFile_.store(nullptr);
    newFile_.clear();
    removePending();
    if (!syncDirectoryOf(target_.c_str())) return cannotWrite;
    return ok;
}

void FileReplacement::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    removePending();
}

void FileReplacement::removePending() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!newFile_.empty()) unlink(newFile_.c_str());
    if (!privateDir_.empty()) rmdir(privateDir_.c_str());
    forgetPending();
}

void FileReplacement::forgetPending() {
    pendingFile_.store(nullptr);
    pendingDir_.store(nullptr);
    newFile_.clear();
    privateDir_.clear();
}

}  // namespace secnative
