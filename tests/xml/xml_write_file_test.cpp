// writeToFile: byte-order mark and declaration line, failures, and the
// replacement of an existing file that a failed write must leave intact.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/xml_test_util.h"

// Every fsync of this program comes here first, so that a test can see what
// was flushed, and in which order.
namespace {
struct Synced {
    bool directory;
    ino_t inode;
};
std::vector<Synced> synced;
}  // namespace

extern "C" int fsync(int fd) {
    struct stat st = {};
    if (fstat(fd, &st) == 0) synced.push_back({S_ISDIR(st.st_mode), st.st_ino});
    return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

namespace fs = std::filesystem;
using sntest::readFile;
using sntest::writeFile;

const std::string kBom = "\xEF\xBB\xBF";
std::string declaration(const char* name) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\n";
}

std::set<std::string> listDir(const std::string& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

unsigned modeOf(const std::string& path) {
    return static_cast<unsigned>(fs::status(path).permissions());
}

class XmlWriteFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xml_write_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    std::string dir_;
    xmltest::OptionsGuard guard_;
};

TEST_F(XmlWriteFile, HeaderFollowsEncodingAndTree) {
    const std::string kDecl = "<?xml version=\"1.0\"?>";
    struct Case {
        XMLNode::XMLCharEncoding encoding;
        const char* document;
        const char* name;
        std::string expected;
    } cases[] = {
        {XMLNode::encodingUTF8, "<a>t</a>", "latin1", kBom + declaration("utf-8") + "<a>t</a>\n"},
        {XMLNode::encodingLegacy, "<a>t</a>", NULL, declaration("ISO-8859-1") + "<a>t</a>\n"},
        {XMLNode::encodingLegacy, "<a/>", "windows-1252", declaration("windows-1252") + "<a/>\n"},
        {XMLNode::encodingShiftJIS, "<a/>", "x", declaration("SHIFT-JIS") + "<a/>\n"},
        {XMLNode::encodingUTF8, "<?xml version=\"1.0\"?><a/>", NULL, kBom + kDecl + "\n<a/>\n"},
        {XMLNode::encodingLegacy, "<?xml version=\"1.0\"?><a/>", NULL, kDecl + "\n<a/>\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        XMLNode::setGlobalOptions(c.encoding);
        XMLNode tree = XMLNode::parseString(c.document);
        ASSERT_EQ(tree.writeToFile(path("out.xml").c_str(), c.name), errorNone);
        EXPECT_EQ(readFile(path("out.xml")), c.expected);
    }
}

TEST_F(XmlWriteFile, NothingWrittenLeavesTheTargetAsItWas) {
    EXPECT_EQ(XMLNode().writeToFile(path("empty.xml").c_str()), errorNone);
    XMLNode nameless = XMLNode::createXMLTopNode(NULL);
    EXPECT_EQ(nameless.writeToFile(path("new.xml").c_str()), errorCannotWriteFile);
    writeFile(path("old.xml"), "old");
    EXPECT_EQ(nameless.writeToFile(path("old.xml").c_str()), errorCannotWriteFile);
    EXPECT_EQ(readFile(path("old.xml")), "old");
    EXPECT_EQ(listDir(dir_), std::set<std::string>{"old.xml"});
    XMLNode a = XMLNode::parseString("<a/>");
    EXPECT_EQ(a.writeToFile(path("missing/out.xml").c_str()), errorCannotOpenWriteFile);
    EXPECT_EQ(a.writeToFile(NULL), errorCannotOpenWriteFile);
}

// A write cut short by the file size limit (as by a full disk) must keep
// every byte of the old file, also when reached through a link, and leave
// no temporary file behind.
TEST_F(XmlWriteFile, FailedWriteKeepsOldFile) {
    std::string old(10000, 'o');
    writeFile(path("big.xml"), old);
    fs::create_symlink("big.xml", path("link"));
    XMLNode tree = XMLNode::createXMLTopNode("root");
    for (int i = 0; i < 2000; ++i) tree.addChild("item").addText("some text in the item");
    for (const char* name : {"big.xml", "link"}) {
        fflush(NULL);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            struct rlimit limit = {4096, 4096};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
            _exit(tree.writeToFile(path(name).c_str()));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), errorCannotWriteFile) << name;
        EXPECT_EQ(readFile(path("big.xml")), old) << name;
        EXPECT_EQ(listDir(dir_), (std::set<std::string>{"big.xml", "link"}));
    }
}

TEST_F(XmlWriteFile, LinksAreFollowedAndKept) {
    XMLNode::setGlobalOptions(XMLNode::encodingLegacy);
    const std::string expected = declaration("ISO-8859-1") + "<a/>\n";
    XMLNode a = XMLNode::parseString("<a/>");
    // A chain of relative links, each taken from its own directory.
    fs::create_directory(path("sub"));
    writeFile(path("real.xml"), "old");
    fs::create_symlink("sub/link2", path("link1"));
    fs::create_symlink("../real.xml", path("sub/link2"));
    fs::create_symlink("fresh.xml", path("dangling"));
    ASSERT_EQ(a.writeToFile(path("link1").c_str()), errorNone);
    ASSERT_EQ(a.writeToFile(path("dangling").c_str()), errorNone);
    EXPECT_EQ(readFile(path("real.xml")), expected);
    EXPECT_EQ(readFile(path("fresh.xml")), expected);
    for (const char* link : {"link1", "sub/link2", "dangling"}) {
        EXPECT_TRUE(fs::is_symlink(path(link))) << link;
    }
    EXPECT_EQ(listDir(path("sub")), std::set<std::string>{"link2"});
    // A file with a second hard link is written in place: both names see it.
    fs::create_hard_link(path("real.xml"), path("hard.xml"));
    XMLNode b = XMLNode::parseString("<b/>");
    ASSERT_EQ(b.writeToFile(path("hard.xml").c_str()), errorNone);
    EXPECT_EQ(readFile(path("real.xml")), declaration("ISO-8859-1") + "<b/>\n");
    EXPECT_EQ(readFile(path("link1")), readFile(path("hard.xml")));
}

TEST_F(XmlWriteFile, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    writeFile(path("ro.xml"), "old");
    fs::permissions(path("ro.xml"), fs::perms(0444));
    XMLNode a = XMLNode::parseString("<a/>");
    EXPECT_EQ(a.writeToFile(path("ro.xml").c_str()), errorCannotOpenWriteFile);
    EXPECT_EQ(readFile(path("ro.xml")), "old");
}

// In a sticky directory only a file's owner may rename over it: another's
// file is written in place, as the same file.
TEST_F(XmlWriteFile, OthersFileInStickyDirectoryIsWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "giving the file away needs root";
    fs::permissions(dir_, fs::perms(01777));
    writeFile(path("theirs.xml"), "old");
    ASSERT_EQ(chown(path("theirs.xml").c_str(), 65534, 65534), 0);
    struct stat before;
    ASSERT_EQ(stat(path("theirs.xml").c_str(), &before), 0);
    ASSERT_EQ(XMLNode::parseString("<a/>").writeToFile(path("theirs.xml").c_str()), errorNone);
    struct stat after;
    ASSERT_EQ(stat(path("theirs.xml").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 65534u);
    EXPECT_EQ(readFile(path("theirs.xml")), kBom + declaration("utf-8") + "<a/>\n");
}

// The new text is on disk before it takes the old file's name, and the
// directory after, so that a crash leaves the old file or the whole new one.
TEST_F(XmlWriteFile, FileThenDirectoryReachTheDisk) {
    XMLNode a = XMLNode::parseString("<a/>");
    for (const bool existing : {true, false}) {
        const std::string target = path(existing ? "durable.xml" : "fresh.xml");
        if (existing) writeFile(target, "old");
        synced.clear();
        ASSERT_EQ(a.writeToFile(target.c_str()), errorNone);
        struct stat file;
        struct stat dir;
        ASSERT_EQ(stat(target.c_str(), &file), 0);
        ASSERT_EQ(stat(dir_.c_str(), &dir), 0);
        ASSERT_EQ(synced.size(), 2u) << existing;
        EXPECT_FALSE(synced[0].directory);
        EXPECT_EQ(synced[0].inode, file.st_ino);
        EXPECT_TRUE(synced[1].directory);
        EXPECT_EQ(synced[1].inode, dir.st_ino);
    }
}

TEST_F(XmlWriteFile, PermissionsOfReplacedAndNewFiles) {
    XMLNode a = XMLNode::parseString("<a/>");
    writeFile(path("kept.xml"), "old");
    fs::permissions(path("kept.xml"), fs::perms(0640));
    ASSERT_EQ(a.writeToFile(path("kept.xml").c_str()), errorNone);
    EXPECT_EQ(modeOf(path("kept.xml")), 0640u);
    for (mode_t mask : {022, 027, 077}) {
        mode_t saved = umask(mask);
        std::string name = path("new") + std::to_string(mask);
        EXPECT_EQ(a.writeToFile(name.c_str()), errorNone);
        umask(saved);
        EXPECT_EQ(modeOf(name), 0666u & ~mask) << mask;
    }
}

}  // namespace
