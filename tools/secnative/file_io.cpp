#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "exit_status.h"
#include "output_guard.h"

namespace secnative::tool {

namespace {

std::string describe(const std::string& path) {
    return path == "-" ? std::string("standard input") : path;
}

[[noreturn]] void fail_io(const std::string& action, const std::string& name) {
    throw Failure(kExitSystem, "cannot " + action + " " + name + ": " + std::strerror(errno));
}

}  // namespace

InputFile::InputFile(const std::string& path) : name_(describe(path)) {
    if (path == "-") {
        file_ = stdin;
    } else {
        file_ = std::fopen(path.c_str(), "rb");
        if (file_ == nullptr) fail_io("open", path);
    }
    struct stat info;
    if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)) {
        size_ = static_cast<uint64_t>(info.st_size);
    }
}

InputFile::~InputFile() {
    if (file_ != stdin) std::fclose(file_);
}

size_t InputFile::read(uint8_t* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const size_t n = std::fread(buffer + got, 1, size - got, file_);
        got += n;
        if (n == 0) {
            if (std::ferror(file_)) fail_io("read", name_);
            break;
        }
    }
    return got;
}

std::vector<char> read_whole(const std::string& path) {
    InputFile in(path);
    std::vector<char> text;
    text.reserve(in.size() + 1);
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = in.read(chunk, sizeof chunk);
        text.insert(text.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    return text;
}

OutputFile::OutputFile(const std::string& path) : target_(path), standard_output_(path == "-") {
    if (standard_output_) return;
    buffer_.reserve(kOutputBuffer);
    guard_output(&file_);
    const FileReplacement::Status status = file_.open(path.c_str());
    if (status != FileReplacement::ok) {
        const int saved = errno;
        guard_output(nullptr);
        errno = saved;
        fail(status == FileReplacement::cannotOpen ? "open" : "write");
    }
}

OutputFile::~OutputFile() {
    if (buffer_.capacity() != 0) secure_wipe(buffer_.data(), buffer_.capacity());  // plaintext
    if (standard_output_ || committed_) return;
    file_.discard();
    guard_output(nullptr);
}

void OutputFile::fail(const char* action) const {
    fail_io(action, standard_output_ ? std::string("standard output") : target_);
}

void OutputFile::flush_buffer() {
    if (!file_.write(buffer_.data(), buffer_.size())) fail("write");
    buffer_.clear();
}

void OutputFile::write(const void* data, size_t size) {
    if (size == 0) return;
    if (standard_output_) {
        if (std::fwrite(data, 1, size, stdout) != size) fail("write");
        return;
    }
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size <= kOutputBuffer) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return;
    }
    if (!buffer_.empty()) flush_buffer();
    if (size >= kOutputBuffer) {
        if (!file_.write(bytes, size)) fail("write");
    } else {
        buffer_.assign(bytes, bytes + size);
    }
}

void OutputFile::commit() {
    if (standard_output_) {
        if (std::fflush(stdout) != 0) fail("write");
        committed_ = true;
        return;
    }
    if (!buffer_.empty()) flush_buffer();
    const FileReplacement::Status status = file_.commit();
    const int saved = errno;
    guard_output(nullptr);
    committed_ = true;
    errno = saved;
    if (status != FileReplacement::ok) fail("write");
}

bool OutputFile::is_terminal() const {
    return isatty(standard_output_ ? fileno(stdout) : file_.descriptor()) != 0;
}

}  // namespace secnative::tool
