// Reading, writing and looking at whole files in the tests that write them.
#ifndef SECNATIVE_TESTS_SUPPORT_FILES_H
#define SECNATIVE_TESTS_SUPPORT_FILES_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

namespace sntest {

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The status of the name itself (a link is not followed); a failure fails
// the test.
inline struct stat statOf(const std::string& path) {
    struct stat st = {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

}  // namespace sntest

#endif  // SECNATIVE_TESTS_SUPPORT_FILES_H
