// A file name in a block of its own, for the code that follows links and
// replaces files. The library's interface stays free of the standard
// string's exported template code.
#ifndef SECNATIVE_COMMON_PATH_TEXT_H
#define SECNATIVE_COMMON_PATH_TEXT_H

#include <errno.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace secnative {

class PathText {
  public:
    PathText() = default;
    ~PathText() { std::free(text_); }
    PathText(const PathText&) = delete;
    PathText& operator=(const PathText&) = delete;

    // The first n bytes of head followed by tail; false (errno ENOMEM, the
    // text unchanged) when there is no memory for it.
    bool assign(const char* head, size_t n, const char* tail = "") {
        const size_t tailSize = std::strlen(tail);
        char* text = static_cast<char*>(std::malloc(n + tailSize + 1));
        if (!text) {
            errno = ENOMEM;
            return false;
        }
        std::memcpy(text, head, n);
        std::memcpy(text + n, tail, tailSize + 1);
        std::free(text_);
        text_ = text;
        size_ = n + tailSize;
        return true;
    }
    bool assign(const char* text) { return assign(text, std::strlen(text)); }

    const char* c_str() const { return text_ ? text_ : ""; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        std::free(text_);
        text_ = nullptr;
        size_ = 0;
    }
    void swap(PathText& other) {
        std::swap(text_, other.text_);
        std::swap(size_, other.size_);
    }

  private:
    char* text_ = nullptr;
    size_t size_ = 0;
};

// Length of the directory part of path up to and including its last slash;
// 0 for a name in the current directory.
inline size_t directoryLength(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? static_cast<size_t>(slash - path) + 1 : 0;
}

// The directory part of path, "." for a name in the current directory.
inline bool directoryOf(const char* path, PathText& dir) {
    const size_t n = directoryLength(path);
    return n ? dir.assign(path, n) : dir.assign(".");
}

}  // namespace secnative

#endif  // SECNATIVE_COMMON_PATH_TEXT_H
