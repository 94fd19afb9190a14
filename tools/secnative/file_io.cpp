#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "exit_status.h"

namespace secnative::tool {

namespace {

std::string describe(const std::string& path) {
    return path == "-" ? std::string("standard input") : path;
}

[[noreturn]] void fail_io(const std::string& action, const std::string& name) {
    throw Failure(kExitSystem, "cannot " + action + " " + name + ": " + std::strerror(errno));
}

// The temporary file of the output in progress, removed by the signal
// handler when the tool is interrupted. Only one output is open at a time.
char pending_temporary[4096];
volatile std::sig_atomic_t pending_set = 0;

extern "C" void remove_pending_and_die(int signal) {
    if (pending_set) unlink(pending_temporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watch_temporary(const std::string& path) {
    if (path.size() >= sizeof pending_temporary) return;
    std::memcpy(pending_temporary, path.c_str(), path.size() + 1);
    pending_set = 1;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, remove_pending_and_die);
}

void unwatch_temporary() {
    pending_set = 0;
}

// The mode a new file would get from the umask, or the mode of the file the
// output replaces.
mode_t mode_for(const std::string& target) {
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
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

OutputFile::OutputFile(const std::string& path) : target_(path) {
    if (path == "-") {
        file_ = stdout;
        return;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + base + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) fail_io("create a file beside", path);
    temporary_ = pattern;
    watch_temporary(temporary_);
    if (fchmod(fd, mode_for(path)) != 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
        const int saved = errno;
        close(fd);
        discard();
        errno = saved;
        fail_io("write", path);
    }
}

OutputFile::~OutputFile() {
    if (!committed_) discard();
}

void OutputFile::discard() {
    if (temporary_.empty()) return;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    unlink(temporary_.c_str());
    unwatch_temporary();
    temporary_.clear();
}

void OutputFile::write(const void* data, size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
        fail_io("write", temporary_.empty() ? std::string("standard output") : target_);
    }
}

void OutputFile::commit() {
    if (temporary_.empty()) {
        if (std::fflush(file_) != 0) fail_io("write", std::string("standard output"));
        committed_ = true;
        return;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    const bool written = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0 || !written) fail_io("write", target_);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) fail_io("replace", target_);
    unwatch_temporary();
    temporary_.clear();
    committed_ = true;
}

bool OutputFile::is_terminal() const {
    return isatty(fileno(file_)) != 0;
}

}  // namespace secnative::tool
