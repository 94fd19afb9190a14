// writeToFile against other local users and a full disk: nobody else reads
// the new content early, a planted link leads nowhere, someone else's file
// keeps its owner, and no space left never costs the old file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/other_user.h"
#include "support/small_tmpfs.h"
#include "support/xml_test_util.h"

namespace {

namespace fs = std::filesystem;
using sntest::kOtherGroup;
using sntest::kOtherUser;
using sntest::readFile;
using sntest::statOf;
using sntest::writeFile;

class XmlWriteFileHostile : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "playing another user needs root";
        char pattern[] = "/tmp/xml_hostile_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        fs::permissions(dir_, fs::perms(0755));
    }
    void TearDown() override {
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
    xmltest::OptionsGuard guard_;
};

// Another user watches the directory and opens every new name the moment
// it appears, keeping what it opened, while a 0600 file is written over and
// over. When the writing is done it reads what it kept: no secret may be in
// it.
TEST_F(XmlWriteFileHostile, NobodyElseOpensTheNewContent) {
    const std::string target = path("secret.xml");
    writeFile(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, dir_.c_str(), IN_CREATE), 0);
    int done[2];
    int report[2];
    ASSERT_EQ(pipe(done), 0);
    ASSERT_EQ(pipe(report), 0);
    const std::string dir = dir_;
    const pid_t racer = sntest::startAsUser(kOtherUser, kOtherGroup, {}, [&] {
        close(done[1]);
        fcntl(done[0], F_SETFL, O_NONBLOCK);
        std::vector<int> kept;
        char byte;
        alignas(struct inotify_event) char events[4096];
        while (read(done[0], &byte, 1) < 0 && kept.size() < 4000) {
            const ssize_t n = read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                struct inotify_event e;
                std::memcpy(&e, events + at, sizeof e);
                const std::string created = events + at + sizeof e;
                at += static_cast<ssize_t>(sizeof e + e.len);
                // The name itself, and what a private directory would hold.
                for (const std::string& name :
                     {dir + "/" + created, dir + "/" + created + "/new"}) {
                    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK);
                    if (fd >= 0) kept.push_back(fd);
                }
            }
        }
        unsigned leaked = 0;
        for (int fd : kept) {
            char buffer[256] = {};
            if (pread(fd, buffer, sizeof buffer - 1, 0) > 0 && std::strstr(buffer, "SECRET")) {
                ++leaked;
            }
        }
        return write(report[1], &leaked, sizeof leaked) == sizeof leaked ? 0 : 3;
    });
    close(watch);
    ASSERT_GT(racer, 0);
    close(done[0]);
    close(report[1]);
    XMLNode tree = XMLNode::parseString("<s>SECRET</s>");
    for (int i = 0; i < 500; ++i) ASSERT_EQ(tree.writeToFile(target.c_str()), errorNone);
    close(done[1]);
    unsigned leaked = ~0u;
    EXPECT_EQ(read(report[0], &leaked, sizeof leaked), static_cast<ssize_t>(sizeof leaked));
    close(report[0]);
    EXPECT_EQ(sntest::waitForChild(racer), 0);
    EXPECT_EQ(leaked, 0u) << "descriptors of another user that read the secret";
    EXPECT_EQ(statOf(target).st_mode & 07777, 0600u);
}

// Links as the kernel follows them in a sticky world-writable directory:
// only the writer's own links and the directory owner's.
TEST_F(XmlWriteFileHostile, LinksInSharedDirectories) {
    struct Case {
        mode_t dirMode;
        uid_t dirOwner;
        uid_t linkOwner;
        bool followed;
    };
    const Case cases[] = {
        {01777, kOtherUser, kOtherUser, true},  // planted by the directory's owner
        {01777, 0, kOtherUser, false},          // planted by someone else: refused
        {01777, kOtherUser, 0, true},           // the writer's own link
        {00777, 0, kOtherUser, true},           // not sticky: followed
        {01755, 0, kOtherUser, true},           // sticky, not world-writable
    };
    XMLNode tree = XMLNode::parseString("<new/>");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n);
        const std::string shared = path("shared" + std::to_string(n));
        const std::string victim = path("victim" + std::to_string(n++));
        fs::create_directory(shared);
        ASSERT_EQ(chown(shared.c_str(), c.dirOwner, 0), 0);
        ASSERT_EQ(chmod(shared.c_str(), c.dirMode), 0);
        writeFile(victim, "victim");
        const std::string link = shared + "/out.xml";
        ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
        ASSERT_EQ(lchown(link.c_str(), c.linkOwner, 0), 0);

        const XMLError result = tree.writeToFile(link.c_str());
        EXPECT_EQ(result, c.followed ? errorNone : errorCannotOpenWriteFile);
        EXPECT_EQ(readFile(victim) == "victim", !c.followed);
        EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
        EXPECT_EQ(std::distance(fs::directory_iterator(shared), {}), 1);
    }
}

// A group-writable file of someone else's, written by a member of the
// group: a replacement could not keep its owner, so it is written in place.
TEST_F(XmlWriteFileHostile, OthersGroupWritableFileKeepsItsOwner) {
    constexpr gid_t kShared = 4242;
    const std::string target = path("shared.xml");
    writeFile(target, "old");
    ASSERT_EQ(chown(target.c_str(), 4343, kShared), 0);
    ASSERT_EQ(chmod(target.c_str(), 0664), 0);
    ASSERT_EQ(chown(dir_.c_str(), kOtherUser, kOtherGroup), 0);  // the writer may create here
    const ino_t before = statOf(target).st_ino;
    XMLNode tree = XMLNode::parseString("<edited/>");
    const pid_t writer = sntest::startAsUser(kOtherUser, kShared, {}, [&] {
        return static_cast<int>(tree.writeToFile(target.c_str()));
    });
    EXPECT_EQ(sntest::waitForChild(writer), errorNone);
    const struct stat after = statOf(target);
    EXPECT_EQ(after.st_ino, before);
    EXPECT_EQ(after.st_uid, 4343u);
    EXPECT_EQ(after.st_gid, kShared);
    EXPECT_NE(readFile(target).find("<edited/>"), std::string::npos);
}

// No room for a new file, or no room for its content: the write fails and
// the old file stays byte for byte, with nothing left beside it.
TEST_F(XmlWriteFileHostile, FullDiskKeepsTheOldFile) {
    const std::string old(6000, 'o');
    XMLNode tree = XMLNode::createXMLTopNode("root");
    for (int i = 0; i < 1000; ++i) tree.addChild("item").addText("more than the old file");
    for (const bool inodesLeft : {false, true}) {
        SCOPED_TRACE(inodesLeft ? "no blocks left" : "no blocks and no inodes left");
        const std::string mountPoint = path(inodesLeft ? "m1" : "m2");
        fs::create_directory(mountPoint);
        sntest::SmallTmpfs small(mountPoint, 64 * 1024, 64);
        if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
        const std::string target = mountPoint + "/data.xml";
        writeFile(target, old);
        small.useUpBlocks();
        if (!inodesLeft) small.useUpInodes();
        const auto entries = std::distance(fs::directory_iterator(mountPoint), {});

        EXPECT_EQ(tree.writeToFile(target.c_str()), errorCannotWriteFile);
        EXPECT_EQ(readFile(target), old);
        EXPECT_EQ(std::distance(fs::directory_iterator(mountPoint), {}), entries);
    }
}

}  // namespace
