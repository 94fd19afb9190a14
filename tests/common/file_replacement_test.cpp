// FileReplacement: the new content stays out of sight until commit, a
// discarded or abandoned write leaves the old file as it was, and what
// cannot be replaced is written in place.
#include "common/file_replacement.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "support/files.h"
#include "support/other_user.h"

namespace {

namespace fs = std::filesystem;
using secnative::FileReplacement;
using sntest::readFile;
using sntest::statOf;
using sntest::writeFile;

class FileReplacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/file_replacement_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& e : fs::directory_iterator(dir_)) found.insert(e.path().filename());
        return found;
    }

    std::string dir_;
};

TEST_F(FileReplacementTest, ContentAppearsOnlyOnCommit) {
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "replacing" : "new");
        const std::string target = path("out");
        if (existing) writeFile(target, "old");
        FileReplacement out;
        ASSERT_EQ(out.open(target.c_str()), FileReplacement::ok);
        EXPECT_FALSE(out.inPlace());
        ASSERT_NE(out.pendingFile(), nullptr);
        ASSERT_NE(out.pendingDirectory(), nullptr);
        EXPECT_EQ(fs::path(out.pendingFile()).parent_path(), fs::path(out.pendingDirectory()));
        EXPECT_EQ(fs::path(out.pendingDirectory()).parent_path(), fs::path(dir_));
        const struct stat privateDir = statOf(out.pendingDirectory());
        EXPECT_EQ(privateDir.st_mode & 0777, 0700u);
        EXPECT_EQ(privateDir.st_uid, geteuid());

        ASSERT_TRUE(out.write("new ", 4));
        ASSERT_TRUE(out.write("content", 7));
        EXPECT_EQ(readFile(target), existing ? "old" : "<missing>");
        EXPECT_EQ(readFile(out.pendingFile()), "new content");
        ASSERT_EQ(out.commit(), FileReplacement::ok);
        EXPECT_EQ(out.pendingFile(), nullptr);
        EXPECT_EQ(out.pendingDirectory(), nullptr);
        EXPECT_EQ(readFile(target), "new content");
        EXPECT_EQ(names(), std::set<std::string>{"out"});
        EXPECT_FALSE(out.write("x", 1));
        EXPECT_EQ(out.commit(), FileReplacement::cannotWrite);
        fs::remove(target);
    }
}

TEST_F(FileReplacementTest, UncommittedWritesLeaveTheOldFile) {
    for (const bool explicitly : {true, false}) {
        const std::string target = path("kept");
        writeFile(target, "old bytes");
        {
            FileReplacement out;
            ASSERT_EQ(out.open(target.c_str()), FileReplacement::ok);
            ASSERT_TRUE(out.write("partial", 7));
            if (explicitly) out.discard();
        }
        EXPECT_EQ(readFile(target), "old bytes") << explicitly;
        EXPECT_EQ(names(), std::set<std::string>{"kept"}) << explicitly;
    }
}

// The new file takes over the old one's bits before it holds anything; a
// file without a predecessor gets what the umask gives.
TEST_F(FileReplacementTest, ModesOfReplacedAndNewFiles) {
    struct Case {
        int oldMode;  // -1: no old file
        mode_t umask;
        mode_t expected;
    };
    const Case cases[] = {
        {-1, 022, 0644},   {-1, 077, 0600},   {-1, 0, 0666},       {0600, 0, 0600},
        {0640, 022, 0640}, {0755, 077, 0755}, {04750, 022, 04750}, {02711, 022, 02711},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.oldMode << " umask " << c.umask);
        const std::string target = path("moded");
        fs::remove(target);
        if (c.oldMode >= 0) {
            writeFile(target, "old");
            ASSERT_EQ(chmod(target.c_str(), static_cast<mode_t>(c.oldMode)), 0);
        }
        const mode_t saved = umask(c.umask);
        FileReplacement out;
        const bool opened = out.open(target.c_str()) == FileReplacement::ok;
        umask(saved);
        ASSERT_TRUE(opened);
        EXPECT_EQ(statOf(out.pendingFile()).st_mode & 07777, c.expected);
        ASSERT_TRUE(out.write("x", 1));
        ASSERT_EQ(out.commit(), FileReplacement::ok);
        EXPECT_EQ(statOf(target).st_mode & 07777, c.expected);
    }
}

// The new file's name does not grow with the target's: a name of the
// longest length a directory allows is replaced like any other.
TEST_F(FileReplacementTest, LongestNamesAreReplaced) {
    const std::string target = path(std::string(NAME_MAX, 'n'));
    writeFile(target, "old");
    const ino_t before = statOf(target).st_ino;
    FileReplacement out;
    ASSERT_EQ(out.open(target.c_str()), FileReplacement::ok);
    EXPECT_FALSE(out.inPlace());
    ASSERT_TRUE(out.write("new", 3));
    ASSERT_EQ(out.commit(), FileReplacement::ok);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_NE(statOf(target).st_ino, before);
}

// A FIFO, a device and a file with two names stay what they are.
TEST_F(FileReplacementTest, SpecialFilesAndHardLinksAreWrittenInPlace) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    writeFile(path("linked"), "old");
    fs::create_hard_link(path("linked"), path("second"));
    std::string fromFifo;
    std::thread reader([&] { fromFifo = readFile(path("fifo")); });
    for (const std::string& target : {path("fifo"), std::string("/dev/null"), path("second")}) {
        SCOPED_TRACE(target);
        const struct stat before = statOf(target);
        FileReplacement out;
        ASSERT_EQ(out.open(target.c_str()), FileReplacement::ok);
        EXPECT_TRUE(out.inPlace());
        EXPECT_EQ(out.pendingFile(), nullptr);
        ASSERT_TRUE(out.write("through", 7));
        ASSERT_EQ(out.commit(), FileReplacement::ok);
        const struct stat after = statOf(target);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    }
    reader.join();
    EXPECT_EQ(fromFifo, "through");
    EXPECT_EQ(readFile(path("linked")), "through");
    EXPECT_EQ(names(), (std::set<std::string>{"fifo", "linked", "second"}));
}

// Where no private directory can be made, a file the writer may write is
// written in place; one it may not write is refused.
TEST_F(FileReplacementTest, UnwritableDirectoryFallsBackToWritingInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "playing another user needs root";
    fs::permissions(dir_, fs::perms(0755));
    writeFile(path("theirs"), "old");
    ASSERT_EQ(chown(path("theirs").c_str(), sntest::kOtherUser, sntest::kOtherGroup), 0);
    const std::string target = path("theirs");
    const std::string missing = path("absent");
    const pid_t child = sntest::startAsUser(sntest::kOtherUser, sntest::kOtherGroup, {}, [&] {
        FileReplacement out;
        if (out.open(target.c_str()) != FileReplacement::ok || !out.inPlace()) return 1;
        if (!out.write("new", 3) || out.commit() != FileReplacement::ok) return 2;
        FileReplacement refused;
        if (refused.open(missing.c_str()) != FileReplacement::cannotOpen) return 3;
        return errno == EACCES ? 0 : 4;
    });
    EXPECT_EQ(sntest::waitForChild(child), 0);
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(statOf(target).st_uid, sntest::kOtherUser);
}

}  // namespace
