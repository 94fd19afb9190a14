// secnative: the library's stream cipher, XML, password and Base64 functions
// on the command line.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "commands.h"
#include "exit_status.h"
#include "xml/xml_parser.h"

#ifndef SECNATIVE_VERSION
#define SECNATIVE_VERSION "unknown"
#endif

namespace {

using namespace secnative::tool;

int run(int argc, char** argv) {
    CLI::App app(
        "Encrypt and decrypt streams, check and query XML, make stored passwords and "
        "move bytes through Base64.",
        "secnative");
    app.set_version_flag("--version", std::string("secnative ") + SECNATIVE_VERSION);
    app.require_subcommand(1);
    app.footer(std::string("Passwords come from --password-file, --password-env or a prompt, "
                           "never from the arguments.\n") +
               kExitStatusHelp);
    add_cipher_commands(app);
    add_xml_commands(app);
    add_password_commands(app);
    add_base64_commands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    } catch (const Failure& failure) {
        if (failure.what()[0] != '\0') std::fprintf(stderr, "secnative: %s\n", failure.what());
        return failure.status();
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "secnative: %s\n", e.what());
        return kExitSystem;
    }
}
