// Writing a file so that an existing one is replaced only once the new
// content is completely on disk, and so that nobody but the writer can see
// the content before then.
//
//     FileReplacement out;
//     if (out.open(path) != FileReplacement::ok) ...;  // errno tells why
//     if (!out.write(data, size)) ...;                 // as often as needed
//     if (out.commit() != FileReplacement::ok) ...;
//
// An object that goes away without commit() discards what was written.
//
// Replacing: a missing file, or a regular file with one link that the
// process may write, is written into a new file in a private directory
// (mode 0700) made beside it, so no other user can open the new content
// while it is incomplete. The new file has the old one's owner, group and
// permission bits before the first byte goes in; a file with no
// predecessor gets the permission bits a plain open would give it (0666
// less the umask). commit() flushes the file to disk, renames it over the
// target, removes the private directory and flushes the target's directory,
// so the new name survives a crash. A full disk or inode table (ENOSPC,
// EDQUOT) is an error like any failed write: the old file stays as it was.
//
// Symbolic links are followed (see followLinks): the file at the end of the
// chain is replaced and the links stay. A link another user planted in a
// sticky world-writable directory is refused with EACCES.
//
// Writing in place: a FIFO, a device, a file with several hard links, a
// file whose owner or group the process could not give the new file (such
// as someone else's group-writable file), someone else's file in a sticky
// directory, and a file in a directory where no private directory can be
// made are opened as a plain open for writing with truncation would open
// them, and written directly; a failure there may leave them partly written.
#ifndef SECNATIVE_COMMON_FILE_REPLACEMENT_H
#define SECNATIVE_COMMON_FILE_REPLACEMENT_H

#include <atomic>
#include <cstddef>

#include "common/path_text.h"

namespace secnative {

class FileReplacement {
  public:
    enum Status {
        ok = 0,
        cannotOpen = 1,   // the file could not be opened for writing
        cannotWrite = 2,  // writing, flushing or putting the file in place failed
    };

    FileReplacement() = default;
    ~FileReplacement() { discard(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Prepares to write the file at path. On failure errno tells why and
    // nothing was created.
    Status open(const char* path);
    // Appends size bytes; false (with errno) when a write failed.
    bool write(const void* data, size_t size);
    // Puts the content in place and closes the file; after a failure the
    // old file is as it was (unless written in place).
    Status commit();
    // Closes the file and removes what was written beside the target.
    void discard();

    // The descriptor being written, or -1.
    int descriptor() const { return fd_; }
    // Whether the file is written in place rather than replaced.
    bool inPlace() const { return fd_ >= 0 && newFile_.empty(); }
    // The new file and its private directory while they may exist, else
    // NULL: what a signal handler has to remove when the process dies
    // before commit() (unlink, then rmdir; either may be gone already).
    // Safe to read from a signal handler at any moment.
    const char* pendingFile() const { return pendingFile_.load(); }
    const char* pendingDirectory() const { return pendingDir_.load(); }

  private:
    enum Attempt { attemptDone, attemptFailed, attemptInPlace };
    Attempt openBeside(bool exists, const void* oldStatus);
    Status openInPlace(const char* path);
    void removePending();
    void forgetPending();

    int fd_ = -1;
    PathText target_;      // the file a commit renames over
    PathText privateDir_;  // the private directory beside it
    PathText newFile_;     // the new file in it
    std::atomic<const char*> pendingDir_{nullptr};
    std::atomic<const char*> pendingFile_{nullptr};
};

}  // namespace secnative

#endif  // SECNATIVE_COMMON_FILE_REPLACEMENT_H
