// A tiny file system of a test's own, to run out of space and inodes on
// purpose. Mounting needs root; without it (or in a container that forbids
// it) mounted() is false and the caller skips.
#ifndef SECNATIVE_TESTS_SUPPORT_SMALL_TMPFS_H
#define SECNATIVE_TESTS_SUPPORT_SMALL_TMPFS_H

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace sntest {

class SmallTmpfs {
  public:
    // Mounts a tmpfs of the given size in bytes and number of inodes.
    SmallTmpfs(const std::string& dir, size_t bytes, unsigned inodes) : dir_(dir) {
        const std::string options =
            "size=" + std::to_string(bytes) + ",nr_inodes=" + std::to_string(inodes) + ",mode=755";
        mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallTmpfs() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return mounted_; }

    // Creates empty files until no inode is left.
    void useUpInodes() {
        for (int i = 0; i < 100000; ++i) {
            const int fd = open((dir_ + "/inode." + std::to_string(i)).c_str(),
                                O_CREAT | O_EXCL | O_WRONLY, 0600);
            if (fd < 0) return;
            close(fd);
        }
    }

    // Fills the remaining blocks with one file.
    void useUpBlocks() {
        const int fd = open((dir_ + "/filler").c_str(), O_CREAT | O_WRONLY | O_APPEND, 0600);
        if (fd < 0) return;  // no inode left: the filler goes into an existing file
        const std::vector<char> block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
    }

  private:
    std::string dir_;
    bool mounted_ = false;
};

}  // namespace sntest

#endif  // SECNATIVE_TESTS_SUPPORT_SMALL_TMPFS_H
