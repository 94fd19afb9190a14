#include "password_source.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "exit_status.h"

namespace secnative::tool {

Secret::~Secret() {
    wipe();
}

Secret::Secret(Secret&& other) noexcept {
    text_.swap(other.text_);
}

Secret& Secret::operator=(Secret&& other) noexcept {
    wipe();
    text_.swap(other.text_);
    return *this;
}

void Secret::wipe() {
    text_.resize(text_.capacity());
    secnative::secure_wipe(text_.data(), text_.size());
    text_.clear();
}

namespace {

// Reads one line from fd into secret, without the line feed (or a CR LF).
// Returns false when nothing at all could be read.
bool read_line(int fd, Secret& secret) {
    std::string& text = secret.text();
    text.reserve(128);  // most passwords fit without a reallocation that leaves a copy behind
    bool any = false;
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        text.push_back(c);
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return any;
}

// Prompts on the terminal with echo off, restoring the terminal afterwards.
Secret prompt(const char* question) {
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (tty < 0) {
        throw Failure(kExitSystem,
                      "no password: give --password-file or --password-env, or run on a terminal");
    }
    struct termios saved;
    const bool is_tty = tcgetattr(tty, &saved) == 0;
    if (is_tty) {
        struct termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    if (::write(tty, question, std::strlen(question)) < 0) {
        // The prompt is a courtesy; reading goes on without it.
    }
    Secret secret;
    const bool any = read_line(tty, secret);
    if (is_tty) tcsetattr(tty, TCSAFLUSH, &saved);
    close(tty);
    if (!any) throw Failure(kExitSystem, "no password was entered");
    return secret;
}

}  // namespace

void PasswordSource::add_options(CLI::App& command) {
    auto* file_option = command.add_option(
        "--password-file", file, "Read the password from the first line of FILE (- for stdin)");
    file_option->type_name("FILE");
    command
        .add_option("--password-env", variable,
                    "Read the password from the environment variable NAME")
        ->type_name("NAME")
        ->excludes(file_option);
}

Secret PasswordSource::read(bool confirm) const {
    Secret secret;
    if (!variable.empty()) {
        const char* value = std::getenv(variable.c_str());
        if (value == nullptr)
            throw Failure(kExitSystem, "environment variable " + variable + " is not set");
        secret.text() = value;
        return secret;
    }
    if (!file.empty()) {
        const int fd = file == "-" ? 0 : open(file.c_str(), O_RDONLY);
        if (fd < 0) {
            throw Failure(kExitSystem, "cannot open " + file + ": " + std::strerror(errno));
        }
        read_line(fd, secret);
        if (fd != 0) close(fd);
        return secret;
    }
    secret = prompt("Password: ");
    if (confirm) {
        const Secret again = prompt("Again: ");
        if (again.text() != secret.text()) throw Failure(kExitUsage, "the passwords do not match");
    }
    return secret;
}

}  // namespace secnative::tool
