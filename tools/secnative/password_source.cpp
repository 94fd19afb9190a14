#include "password_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "exit_status.h"
#include "modified_utf8.h"
#include "quiet_terminal.h"

namespace secnative::tool {

void Secret::assign(const char* raw, size_t size) {
    secure_wipe(bytes_.data(), bytes_.size());
    const size_t whole =
        to_modified_utf8(reinterpret_cast<const uint8_t*>(raw), size,
                         reinterpret_cast<uint8_t*>(bytes_.data()), kPasswordLimit);
    size_ = std::min(whole, kPasswordLimit);
    cut_ = whole > kPasswordLimit;
}

namespace {

// A password's bytes as read, before they are converted: the first ones of
// a longer password are all that can count.
struct RawPassword {
    SecretBuffer<char, kPasswordReadLimit> bytes;
    size_t size = 0;

    bool operator==(const RawPassword& other) const {
        return size == other.size && std::memcmp(bytes.data(), other.bytes.data(), size) == 0;
    }
};

enum class LineRead {
    nothing,  // the input ended before its first byte
    ended,    // at a line end or the end of the input
    cut,      // stopped after kPasswordReadLimit bytes with no line end
};

// Reads the first line of fd into raw, without its line end (LF or CR LF; a
// CR at the end of the input too). Byte by byte, so that nothing after the
// line end is consumed, and no further than kPasswordReadLimit bytes, which
// hold all of the password that counts. A terminal's line is read to its end,
// the bytes past the limit dropped: the rest of what was typed there is no
// one else's input. Throws Failure when fd cannot be read (a directory, say).
LineRead read_line(int fd, const std::string& name, RawPassword& raw) {
    const bool whole_line = isatty(fd) != 0;
    bool any = false;
    char c = 0;
    for (;;) {
        if (raw.size == raw.bytes.size() && !whole_line) {
            secure_wipe_object(c);
            return LineRead::cut;
        }
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            secure_wipe_object(c);
            throw Failure(kExitSystem, "cannot read " + name + ": " + std::strerror(error));
        }
        if (n == 0) break;
        any = true;
        if (c == '\n') break;
        if (raw.size < raw.bytes.size()) raw.bytes.data()[raw.size++] = c;
    }
    secure_wipe_object(c);
    if (raw.size > 0 && raw.bytes.data()[raw.size - 1] == '\r') --raw.size;
    return any ? LineRead::ended : LineRead::nothing;
}

// A file descriptor closed at the end of the scope, unless it is standard
// input.
class PasswordFd {
  public:
    explicit PasswordFd(int fd) : fd_(fd) {}
    ~PasswordFd() {
        if (fd_ > 0) close(fd_);
    }
    PasswordFd(const PasswordFd&) = delete;
    PasswordFd& operator=(const PasswordFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Prompts on the terminal with echo off; the terminal is restored however
// this ends.
void prompt(const char* question, RawPassword& raw) {
    PasswordFd tty(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.get() < 0) {
        throw Failure(kExitSystem,
                      "no password: give --password-file or --password-env, or run on a terminal");
    }
    LineRead line;
    {
        QuietTerminal quiet(tty.get());
        if (::write(tty.get(), question, std::strlen(question)) < 0) {
            // The prompt is a courtesy; reading goes on without it.
        }
        line = read_line(tty.get(), "the terminal", raw);
    }
    if (line == LineRead::nothing) throw Failure(kExitSystem, "no password was entered");
}

// The first line of a file or of standard input. When the command reads
// standard input after the password, the password's line must end within
// the bytes read: its rest would be taken for the command's input.
void read_file(const std::string& file, bool input_follows, RawPassword& raw) {
    const bool standard_input = file == "-";
    PasswordFd fd(standard_input ? 0 : open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        throw Failure(kExitSystem, "cannot open " + file + ": " + std::strerror(errno));
    }
    const LineRead line = read_line(fd.get(), standard_input ? "standard input" : file, raw);
    if (line == LineRead::cut && standard_input && input_follows) {
        throw Failure(kExitSystem, "the password's line on standard input is longer than " +
                                       std::to_string(kPasswordReadLimit) +
                                       " bytes; its rest would be read as input: give the "
                                       "password in a file or the input with a name");
    }
}

void read_variable(const std::string& variable, RawPassword& raw) {
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr) {
        throw Failure(kExitSystem, "environment variable " + variable + " is not set");
    }
    // Bytes past those that can count once converted (a character cut at the
    // limit finished) need not be copied.
    raw.size = std::min(std::strlen(value), kPasswordLimit + 3);
    std::memcpy(raw.bytes.data(), value, raw.size);
}

std::string empty_password_message(const PasswordSource& source) {
    std::string where = "the password entered is empty";
    if (!source.variable.empty()) where = "environment variable " + source.variable + " is empty";
    if (!source.file.empty()) {
        where = (source.file == "-" ? std::string("standard input") : source.file) +
                " holds no password (an empty first line)";
    }
    return where + "; give --empty-password to use an empty password";
}

}  // namespace

void PasswordSource::add_options(CLI::App& command) {
    auto* file_option = command.add_option(
        "--password-file", file,
        "Read the password from the first line of FILE (- for standard input), at most " +
            std::to_string(kPasswordReadLimit) + " bytes of it");
    file_option->type_name("FILE");
    command
        .add_option("--password-env", variable,
                    "Read the password from the environment variable NAME")
        ->type_name("NAME")
        ->excludes(file_option);
    command.add_flag("--empty-password", allow_empty,
                     "Accept an empty password, which is refused otherwise");
}

void PasswordSource::read(bool confirm, Secret& secret, bool input_follows) const {
    RawPassword raw;
    if (!variable.empty()) {
        read_variable(variable, raw);
    } else if (!file.empty()) {
        read_file(file, input_follows, raw);
    } else {
        prompt("Password: ", raw);
        if (confirm) {
            RawPassword again;
            prompt("Again: ", again);
            if (!(again == raw)) throw Failure(kExitUsage, "the passwords do not match");
        }
    }
    if (raw.size == 0 && !allow_empty) throw Failure(kExitSystem, empty_password_message(*this));
    secret.assign(raw.bytes.data(), raw.size);
}

}  // namespace secnative::tool
